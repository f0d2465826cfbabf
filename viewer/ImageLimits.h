// The image memory limit now lives in base, where the product and grey-image
// readers apply it too.
#pragma once

#include "base/ImageLimits.h"
