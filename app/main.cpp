#include "app/AppStartup.h"

int main(int argc, char *argv[]) { return lumira::runApplication(argc, argv); }
