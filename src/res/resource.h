// Resource ids shared by the resource script and the code.
#pragma once

#define IDR_MAINICON "MAINICON"
#define IDD_OPTIONS "OPTIONS"

#define IDC_FRAME 1000
#define IDC_APPICON 1001
#define IDC_VERSION 1002
#define IDC_PLATFORMS 1003
#define IDC_NOTICE 1004
#define IDC_STARTUP 1005
#define IDC_BLINK 1006
#define IDC_THRESHOLD_LABEL 1007
#define IDC_THRESHOLD 1008
#define IDC_RANGE 1009
#define IDC_THRESHOLD_SPIN 1010
