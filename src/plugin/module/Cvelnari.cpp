#include "plugin/module/Cvelnari.h"

Cvelnari& Cvelnari::operator=(const Cvelnari&) = default;
