#include "campaign/model/campaign_file.h"

namespace qavrel::campaign {

std::string CampaignFile::flag() const {
  if (!analysis.ok) return analysis.error;
  if (analysis.ended_on_token)
    return "damaged: the input ended at byte " + std::to_string(analysis.token_offset) +
           " on a token that is not a number";
  return {};
}

}  // namespace qavrel::campaign
