// The few console operations the program needs, for POSIX terminals and the Windows console.
#pragma once

// Keeps a closed pipe on standard output from ending the program before the report is written.
void ignore_broken_pipe();

// Tells whether standard output is an interactive console.
bool output_is_console();

// Tells whether standard input is an interactive console.
bool input_is_console();

// Tells whether the console window belongs to this program alone, as when Windows opened it
// for a double-clicked program and closes it when the program ends; always false on POSIX
// systems.
bool console_is_own();

// Clears the console window; call only when output_is_console().
void clear_console();

// Waits for one key press without echoing it; call only when input_is_console(). The
// console's settings are restored afterwards; a stop request during the wait must call
// restore_console_settings.
void wait_for_key();

// Puts back the console settings that wait_for_key changed, if it is waiting; safe to call
// from a signal handler.
void restore_console_settings();
