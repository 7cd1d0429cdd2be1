#pragma once
// The prompts for what the switches left open, and the final Enter wait.

#include "settings/run_settings.h"

/// Asks on standard input for whatever the switches left open (file name,
/// term, trim choice) and checks the trim choice. The term given with -s,
/// when there was one, is the term the run searches for. False when the
/// input ended where an answer was due: no answer is no setting. A trim
/// answer that is not a number is one; reading then stops, as before.
bool complete_settings(run_settings& settings);

/// Waits for Enter; returns at once when standard input is ended or failed.
void wait_for_enter();
