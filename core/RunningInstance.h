#pragma once

class SingleApplication;

// On a second start: asks the running instance to show itself ("WakeUp"), telling the user what
// happens meanwhile. True when the running instance acknowledged the message.
bool handleIsRunning(SingleApplication &app);
