// Putting the machine into hibernation (or standby) at the end of a run.
#pragma once

namespace zortan {

// Hibernates (suspend false) or suspends (suspend true) the machine. On
// Windows this enables the shutdown privilege and asks the power manager;
// elsewhere it asks the host's service manager. A failure raises an
// input/output error with the system's text.
void hibernateMachine(bool suspend, bool force);

}  // namespace zortan
