// RealtimeKit, the desktop's broker for real-time scheduling: a user who
// may not raise a thread to real time himself asks it over the system bus.
#pragma once

#include <kestrix/controlcm.h>

namespace vantrel {

// RealtimeKit grants real time only to a process whose real-time threads
// cannot run away: this sets RLIMIT_RTTIME to at most its 200 ms. False
// when the system refuses.
bool limitRealtimeCpu();

// Gives `control` a way to ask RealtimeKit for real time around its frames,
// and a debug line (category vantrel.realtime) when there is none to have.
void useRealtimeKit(kestrix::controlcm& control);

}  // namespace vantrel
