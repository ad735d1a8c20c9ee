// Puts the process into the state a once-a-minute tick finds it in, so "cold" timings mean what
// a user of a busy host lives with rather than what a tight loop leaves behind.
#pragma once

// Sixty seconds of a busy host between two ticks, squeezed into a few milliseconds (see the
// definition for what is modelled and how). Call it with the clock stopped.
void EvictProcessState();
