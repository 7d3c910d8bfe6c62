// The process entry: main hands over to app_main (app_main.cpp).
#include "app/app_main.h"

int main(int argc, char** argv) { return app_main(argc, argv); }
