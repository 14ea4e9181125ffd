// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "server/store.h"

namespace bopatron::server {

Append planAppend(long held, std::int64_t bytes, long from, const std::vector<std::string_view>& lines,
                  std::int64_t maxBytes) {
    if (from > held) return {Append::Result::Gap, held, {}, 0};
    const auto skip = static_cast<std::size_t>(held - from);
    if (skip >= lines.size()) return {Append::Result::Duplicate, held, {}, 0};
    Append plan{Append::Result::Appended, held, {}, static_cast<long>(lines.size() - skip)};
    for (std::size_t i = skip; i < lines.size(); ++i) {
        plan.text += lines[i];
        plan.text += '\n';
    }
    if (bytes + static_cast<std::int64_t>(plan.text.size()) > maxBytes) return {Append::Result::TooLarge, held, {}, 0};
    plan.lines = held + plan.count;
    return plan;
}

}  // namespace bopatron::server
