// The two standard streams, as the channels write them and as findings name
// the one text mode prints them on.
#pragma once

namespace segsniff {

enum class Channel { out, err };

}  // namespace segsniff
