#include "settings/modPublic.h"

AppSettingsRecord AppSettings;
std::int32_t TickCounter = 0;
std::int16_t CurrentErrorCounter = 0;
