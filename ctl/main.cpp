// quorvane-ctl: the panel's port handling and protocol from a terminal or a
// script: list ports, read the board, send a setting, log the readings.
#include "ctl/ctl_main.h"

int main(int argc, char** argv) { return quorvane::ctl::CtlMain(argc, argv, {}); }
