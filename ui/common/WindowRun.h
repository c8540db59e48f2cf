#pragma once

#include <string>
#include <string_view>

#include "run/RunRequest.h"

namespace kestrin {

/// The run a click on Cutting starts: the log and the save file as the engine takes
/// their paths, and the keyword box's text, where text equal to a list entry counts
/// as that entry, "Space" included; the entries the Options menu chose.
inline RunRequest WindowRun(std::string log, std::string save, std::u16string_view typedKeyword,
                            Grouping group) {
    RunRequest request;
    request.group = group;
    request.logPaths = {std::move(log)};
    request.savePath = std::move(save);
    request.backKeyword = BackKeywordFrom(typedKeyword);
    return request;
}

}  // namespace kestrin
