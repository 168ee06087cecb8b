#pragma once

/// Installs the process-wide message handler. By default it drops every diagnostic,
/// so the editor writes nothing to a console or log. With the environment variable
/// QRD_DEBUG set to anything but "0" (or nothing), messages go to standard error, for
/// whoever is hunting a fault.
void installMessageHandler();

/// Between these two calls the toolkit is starting: what it says is kept, and a fatal
/// message (no display, no usable platform plugin) ends the process with exit status 1
/// and one line on standard error, "PROGRAM: cannot open a window: REASON", instead of
/// Qt's abort and its several lines. `program` must outlive the start.
void beginStartUp(const char* program);
void endStartUp();
