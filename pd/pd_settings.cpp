#include "pd/pd_settings.h"

PdSettings gPdSettings;
