// Which image of a stereo pair.
#pragma once

enum class Eye { Left, Right };
