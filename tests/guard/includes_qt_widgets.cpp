// Compiled only by the guard test, which expects this file to fail: the core
// libraries have no Qt on their include path.
#include <QWidget>
int guard_probe() { return 0; }
