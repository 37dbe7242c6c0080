#include "app/settings.h"

constinit ToolSettings gSettings{};
