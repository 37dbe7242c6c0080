#include "app/settings.h"

ToolSettings gSettings;
