#pragma once

/// Installs the process-wide message handler. By default it drops every diagnostic,
/// so the editor writes nothing to a console or log. With the environment variable
/// QRD_DEBUG set, messages go to standard error, for whoever is hunting a fault.
void installMessageHandler();
