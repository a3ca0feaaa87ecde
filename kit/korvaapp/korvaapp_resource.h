// Resource ids of korvaapp, the KORVA demo application.
#pragma once

#define IDD_KORVAAPP 100

#define IDC_DEVICE_LIST 1001
#define IDC_REFRESH 1002
#define IDC_STATUS 1003
