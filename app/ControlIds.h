// The control ids of the program's own windows: the main window, the
// options and the about dialog. Only the program (app/) and its resource
// scripts use them; the rooms below get the windows' values as arguments.
#pragma once

// Main window controls.
#define IDC_TAKELIST 1008
#define IDC_INTERPCOUNT 1009

// About dialog controls.
#define IDC_ABOUT_MAIL 1001
#define IDC_ABOUT_WEB 1002
#define IDC_ABOUT_EXPLORE 1003
#define IDC_ABOUT_PATH 1005
#define IDC_ABOUT_DESCRIPTION 134
#define IDC_ABOUT_COPYRIGHT 135
#define IDC_ABOUT_COMMENTS 136

// Options dialog controls.
#define IDC_OPT_KEYBOARD 1011
#define IDC_OPT_MIDI 1012
#define IDC_OPT_MIDIDEVICE 1013
#define IDC_OPT_BASENOTE 1014
#define IDC_OPT_CAKEWALK 1016
#define IDC_OPT_RESTORE 1017

// Options dialog: the smoothing choice and its label, the repair-on-export
// check box.
#define IDC_OPT_SMOOTHING_LABEL 1120
#define IDC_OPT_SMOOTHING 1121
#define IDC_OPT_REPAIR 1122
// The recording's line under the list: its name and length, and the start
// position of tapping and listening.
#define IDC_RECORDINGLINE 1130
#define IDC_STARTLABEL 1131
#define IDC_STARTPOS 1132
#define IDC_OPT_PREROLL_LABEL 1123
#define IDC_OPT_PREROLL 1124
#define IDC_OPT_ALIGN 1125
#define IDC_OPT_SNAP 1126
