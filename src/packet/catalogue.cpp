#include "packet/catalogue.h"

#include <array>

namespace packet {
namespace {

// The Agent records of the monitor's two layouts, which the generator writes
// on request besides its own 84 bytes.
constexpr RecordSizeChoice kAgentRecordSizes[] = {{104, &kAgentKeyedLayout},
                                                  {108, &kAgentKeyedLayoutWithNrrc}};

// Each row: MessageType, section, title, RecordSize, limit, the two refusals,
// the layout, then only where the kind differs: its versioned layout, its
// Application trace, its compression words and its other record sizes.
const std::array<Kind, 6> kKinds = {{
    {1,
     "Application",
     "Application Statistics - ",
     84,
     500,
     "Max number of Applications exceed",
     "Invalid Application Stat Scheme",
     &kApplicationLayout,
     {},
     true},
    {2,
     "Skillset",
     "Skillset Statistics - ",
     116,
     350,
     "Max number of Skillsets exceed",
     "Invalid Skillset Stat Scheme",
     &kSkillsetLayout,
     {},
     false,
     {"Encoded", "Encoding"}},
    {3,
     "Agent",
     "Agent Statistics - ",
     84,
     1000,
     "Max number of Agents exceed",
     "Invalid Agent Stat Scheme",
     &kAgentLayout,
     {8, 4, &kAgentLayoutWithNrrc},
     false,
     kCompressionWords,
     kAgentRecordSizes},
    {4, "Nodal", "Nodal Statistics - ", 28, 1, "Max number of Nodal exceed",
     "Invalid Nodal Stat Scheme", &kNodalLayout},
    {5, "IVR", "IVR Statistics - ", 32, 500, "Max number of IVRs exceed", "Invalid IVR Stat Scheme",
     &kIvrLayout},
    {6, "Route", "Route Statistics - ", 10, 600, "Max number of Routes exceed",
     "Invalid Route Stat Scheme", &kRouteLayout},
}};

}  // namespace

const Kind* find_kind(long message_type) {
  if (message_type < 1 || message_type > static_cast<long>(kKinds.size())) return nullptr;
  return &kKinds[static_cast<std::size_t>(message_type - 1)];
}

std::string_view scheme_text(long stat_scheme) {
  switch (stat_scheme) {
    case 0: return "Interval to Date\n";
    case 1: return "Moving Window\n";
    default: return {};
  }
}

}  // namespace packet
