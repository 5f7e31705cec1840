// Resource and command identifiers of Metrova.exe, shared by the resource
// script and the C++ sources. Buttons, menu items and accelerators of the same
// action share one id.
#pragma once

// Dialog templates, menus, accelerators, icon.
#define IDD_MAIN 101
#define IDM_MAINMENU 102
#define IDD_TAPINPUT 105
#define IDA_MAIN 106
#define IDM_CONTEXTMENU 109
#define IDD_ABOUT 110
#define IDI_METROVA 111
#define IDD_OPTIONS 112

// Commands (buttons, menus, accelerators).
#define IDM_ADD 1010
#define IDM_EXIT 40001
#define IDM_SAVETEMPO 40002
#define IDM_COPYTEMPO 40003
#define IDM_DELETE 40005
#define IDM_DELETEALL 40006
#define IDM_ABOUT 40015
#define IDM_HELP 40017
#define IDM_OPTIONS 40024
#define IDM_IMPORT 40026
#define IDM_OPENTAKES 40027
#define IDM_SAVETAKES 40028

// Commands of the list of takes: undo and redo, repair, the tempo graph.
#define IDM_UNDO 40030
#define IDM_REDO 40031
#define IDM_REPAIR 40032
#define IDM_REPAIRALL 40033
#define IDM_TEMPOGRAPH 40034

// The recording the takes are tapped along: open and close it, hear the
// map against it, and the tapper's own latency.
#define IDM_OPENRECORDING 40040
#define IDM_CLOSERECORDING 40041
#define IDM_LISTEN 40042
#define IDM_MEASURELATENCY 40043

// String table.
#define IDS_COL_TIME 1
#define IDS_COL_TAPS 2
#define IDS_CAPTION_ERROR 3
#define IDS_NO_TIMER 4
#define IDS_CAPTION_WARNING 5
#define IDS_UNEQUAL_TAPS 6
#define IDS_DELETE_ALL 7
#define IDS_MIDI_FILTER 8
#define IDS_UNEXPECTED_ERROR 9
#define IDS_OPEN_BROWSER 10
#define IDS_WEB_ADDRESS 11
#define IDS_MAIL_ADDRESS 12
#define IDS_CAPTION_CONFIRM 13
#define IDS_NO_DIALOG 14
#define IDS_TITLE 15
#define IDS_BAD_BASENOTE 16
#define IDS_BAD_TAPMETHOD 17
#define IDS_NO_MIDI_DEVICE 18
#define IDS_BASENOTE_CHANGE 19
#define IDS_KEYBOARD 20
#define IDS_LABEL_BASENOTE 21
#define IDS_LABEL_METHOD 22
#define IDS_LABEL_TAPS 23
#define IDS_UNSUPPORTED_FILE 24
#define IDS_TAKE_FILTER 25
#define IDS_TAKE_FILE_BAD_LINE 26
#define IDS_TAKE_FILE_CUT_OFF 27
#define IDS_TAKE_FILE_NEWER 28
#define IDS_SESSION_SET_ASIDE 29
// The words of the list's tooltip for each kind of finding ("抜け1 余分1").
#define IDS_FINDING_MISSED 30
#define IDS_FINDING_EXTRA 31
#define IDS_FINDING_START 32
#define IDS_FINDING_OUTLIER 33
// Start-up notices, joined into one message, and the notices of files whose
// takes needed mending or gave none.
#define IDS_SESSION_KEPT_NONE 34
#define IDS_SESSION_KEPT_SOME 35
#define IDS_JOURNAL_RESTORED 36
#define IDS_REPEATS_DROPPED 37
#define IDS_TAKES_UNSAVED 38
#define IDS_IMPORT_NO_TAKE 39
#define IDS_CAPTION_INFO 40
// The recording: the open dialog's filter, the line that names it, the
// progress of its decoding, and what goes wrong.
#define IDS_AUDIO_FILTER 41
#define IDS_RECORDING_LINE 42
#define IDS_RECORDING_OPENING 43
#define IDS_RECORDING_CANNOT_OPEN 44
#define IDS_RECORDING_MISSING 45
#define IDS_RECORDING_CHANGED 46
#define IDS_RECORDING_NO_PLAYBACK 47
#define IDS_RECORDING_CLOSE_ANCHORED 48
#define IDS_CANCEL 49
#define IDS_SECONDS 50
// The recording line's tooltip: how the map's beats were placed.
#define IDS_SNAP_COUNTS 51
#define IDS_TAP_POSITION 86
#define IDS_FILEDESCRIPTION 134
#define IDS_LEGALCOPYRIGHT 135
#define IDS_COMMENTS 136

// Private window messages, each posted only to its own window.
#define WM_TAPPED (WM_APP + 1)
#define WM_UPDATESTATES (WM_APP + 1)
#define WM_SESSIONNOTICE (WM_APP + 2)
#define WM_TAKESUNSAVED (WM_APP + 3)
// A player reached the recording's end (lParam: the player); the session's
// recording is to be opened again once the main window shows.
#define WM_PLAYBACKEND (WM_APP + 13)
#define WM_REOPENRECORDING (WM_APP + 14)

// Tempo graph window: its menu (bar and context menu), commands, strings and
// the messages that tell the main window of a click on a finding's marker or
// on the waveform, and of Escape.
#define IDR_GRAPHMENU 120
#define IDM_GRAPH_BEATAXIS 41001
#define IDM_GRAPH_TIMEAXIS 41002
#define IDM_GRAPH_SHOWALL 41003
#define IDS_GRAPH_TITLE 60
#define IDS_GRAPH_AXIS_BEAT 61
#define IDS_GRAPH_AXIS_TIME 62
#define IDS_GRAPH_AXIS_BPM 63
#define IDS_GRAPH_HOVER 64
#define IDS_GRAPH_HOVER_TAKE 65
#define IDS_GRAPH_NO_TAKES 66
#define IDS_GRAPH_MISSED 67
#define IDS_GRAPH_EXTRA 68
#define IDS_GRAPH_START 69
#define IDS_GRAPH_OUTLIER 70
#define IDS_GRAPH_REJECTED 71
// wParam: the take's index in the list; lParam: the finding's index among
// that take's findings.
#define WM_GRAPHFINDING (WM_APP + 10)
// A left click on the recording's waveform away from any marker: wParam 0;
// lParam the recording time under the pointer in whole ms, within [0, the
// recording's length].
#define WM_GRAPHSTARTAT (WM_APP + 11)
// Escape in the graph window: stop listening (wParam and lParam 0).
#define WM_GRAPHSTOPLISTEN (WM_APP + 12)
// The map's beats snapped onto the recording's onsets, as the musician
// overrules them in the graph; wParam always the beat's index in
// GraphContent::SnappedBeatMs. A left click on a beat's marker selects it
// (lParam 0).
#define WM_GRAPHBEATSELECT (WM_APP + 16)
// A selected marker dragged and let go: lParam the new time on the
// recording in whole ms, within [0, the recording's length].
#define WM_GRAPHBEATMOVE (WM_APP + 17)
// The selected beat onto the onset before (lParam -1) or after (+1) its
// time, which the owner finds: the arrow keys and the beat's context menu.
#define WM_GRAPHBEATRESNAP (WM_APP + 18)
// The beat back to where the snapping put it (lParam 0).
#define WM_GRAPHBEATRESET (WM_APP + 19)
// A snapped beat's context menu and its commands.
#define IDR_GRAPHBEATMENU 121
#define IDM_GRAPH_BEAT_PREVONSET 41004
#define IDM_GRAPH_BEAT_NEXTONSET 41005
#define IDM_GRAPH_BEAT_AUTOMATIC 41006

// Tap dialog feedback: the labels of the tempo and deviation lines and the
// two warnings about the last tap.
#define IDS_TAP_TEMPO 80
#define IDS_TAP_DEVIATION 81
#define IDS_TAP_MISSED 82
#define IDS_TAP_EXTRA 83
// The hint under them, for keys and for MIDI, and the base notes by name,
// 1/2^n at IDS_NOTE_NAME_FIRST + n.
#define IDS_TAP_HINT_KEYS 84
#define IDS_TAP_HINT_MIDI 85
#define IDS_NOTE_NAME_FIRST 90

// Options: the smoothing list's two words (the strengths 1 to 10 are numbers).
#define IDS_SMOOTHING_NONE 96
#define IDS_SMOOTHING_AUTO 97
#ifndef RC_INVOKED
// The note names run from IDS_NOTE_NAME_FIRST for the six base notes: a
// string of the same id would replace one of them.
static_assert(IDS_SMOOTHING_NONE > IDS_NOTE_NAME_FIRST + 5, "string ids overlap the note names");
#endif

// The tap latency measurement: its dialog (no controls: it paints its
// texts), those texts, its message boxes, and the message its player posts
// to it when the clicks have played (lParam: the player).
#define IDD_LATENCY 113
#define IDS_LATENCY_INSTRUCTION 150
#define IDS_LATENCY_PROGRESS 151
#define IDS_LATENCY_TAPS 152
#define IDS_LATENCY_HINT_KEYS 153
#define IDS_LATENCY_HINT_MIDI 154
#define IDS_LATENCY_RESULT 155
#define IDS_LATENCY_TOO_FEW 156
#define IDS_LATENCY_NO_SOUND 157
#define WM_LATENCYPLAYED (WM_APP + 15)
