// The application's own main(), renamed so a test can call it.
#define main wireletMain
#include "../app/main.cpp"
