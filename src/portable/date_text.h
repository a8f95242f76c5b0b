// The classic date form both platforms print, built without the runtime's
// own conversion so that every runtime gives the same text.
#pragma once

#include <ctime>
#include <string>

namespace portable {

// Returns "Www Mmm DD hh:mm:ss YYYY\n" for a broken-down time, with the day
// of the month as two digits with a leading zero.
std::string classic_date_text(const std::tm& time);

}  // namespace portable
