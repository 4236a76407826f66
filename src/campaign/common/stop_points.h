// Points at which a test may stop the campaign: each store commit, each
// output put in place or removed, and each log written. With
// QAVREL_CAMPAIGN_STOP_AT=N[:SIGNAL] in the environment the process sends
// itself SIGNAL (KILL, INT or TERM; KILL when none is named) at the Nth
// point it reaches, just before that step, so that a test can stop a run
// at every step in turn. Without it, a point costs an increment.
#pragma once

namespace qavrel::campaign {

void stop_point();

}  // namespace qavrel::campaign
