/* Resource numbers for the resource compiler, which cannot read C++.
   controller/control_ids.h is where the numbers are decided; these repeat
   them, and the window's tests compare the compiled template with it. */
#pragma once

#define IDD_MAIN 102
#define IDI_APP 128

#define IDC_OPEN_PORT 1000
#define IDC_SET_CURRENT 1001
#define IDC_SET_FREQUENCY 1002
#define IDC_PORT_LIST 1003
#define IDC_SET_DURATION 1004
#define IDC_CURRENT_EDIT 1005
#define IDC_PUMP_TEMP 1006
#define IDC_SEED_TEMP 1007
#define IDC_CURRENT_SLIDER 1008
#define IDC_FREQUENCY_EDIT 1009
#define IDC_CURRENT_READ 1010
#define IDC_SOFT_ACTIVE 1011
#define IDC_DURATION_EDIT 1012
#define IDC_CURRENT_DOWN 1013
#define IDC_CURRENT_UP 1014
