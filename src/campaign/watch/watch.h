// qavrel-campaign --watch: after the first run, the campaign is brought up
// to date again for every batch of data files that changed and settled,
// by the same run, until Ctrl-C or SIGTERM.
#pragma once

#include "campaign/campaign_run.h"
#include "campaign/options.h"

namespace qavrel::campaign {

// Watches the campaign's folders and runs a batch whenever files have
// rested; says each file graded on standard output, a line at once. On a
// shared store, also whenever other benches changed the campaign, and
// while the store is away (from the start, when the first run lost it),
// tries it again now and then. Ends as a stop signal ends a run, or with
// the status of a run that can't go on.
int watch_campaign(const Options& options, CampaignRun& run, bool store_away_at_start);

}  // namespace qavrel::campaign
