// The same offscreen set-up as the viewer's widget tests.
#include "../viewer/main.cpp"
