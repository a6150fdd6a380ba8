// Resource and control identifiers of the setup dialog. Resource identifiers
// and control identifiers are separate numbering spaces: the picture 5001 and
// the control 5001 are unrelated.
#pragma once

// Resources.
#define IDD_RUDADADO_DIALOG 5000  // the dialog template
#define IDB_CONNECTOR 5001        // the connector picture

// Controls.
#define IDC_DIRECTION_PIN2 5001  // direction boxes of pins 2 to 9: 5001 to 5008
#define IDC_DIRECTION_PIN9 5008
#define IDC_LEVEL_PIN1 5009  // level box of pin 1
#define IDC_LEVEL_PIN2 5010  // level boxes of pins 2 to 9: 5010 to 5017
#define IDC_LEVEL_PIN9 5017
#define IDC_LEVEL_PIN14 5018
#define IDC_LEVEL_PIN16 5019
#define IDC_LEVEL_PIN17 5020
#define IDC_STATUS_PIN10 5021  // status fields of pins 10 to 13: 5021 to 5024
#define IDC_STATUS_PIN11 5022
#define IDC_STATUS_PIN12 5023
#define IDC_STATUS_PIN13 5024
#define IDC_STATUS_PIN15 5025
#define IDC_PORT_LIST 5026
#define IDC_STATUS_PIN2 5027  // status fields of pins 2 to 9: 5027 to 5034
#define IDC_STATUS_PIN9 5034
#define IDC_READ_INPUTS 5035
#define IDC_POLL_INPUTS 5036
#define IDC_INTERVAL 5037
#define IDC_INTERVAL_SPIN 5038
#define IDC_PORT_LIST_CAPTION 5039
#define IDC_PORT_ADDRESS 5040

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
