// The object that GoogleTest's precompiled headers are made for; the test
// programs reuse them.
