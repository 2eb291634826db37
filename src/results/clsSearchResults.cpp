#include "results/clsSearchResults.h"

#include <cmath>
#include <limits>
#include <utility>

#include "support/Variant.h"
#include "support/basUtils.h"

namespace loftwick {

std::shared_ptr<clsCache> clsSearchResults::Item(int64_t Index) const {
    if (Index < 1 || Index > Count()) return nullptr;
    return items_[static_cast<size_t>(Index - 1)];
}

void clsSearchResults::Add(std::shared_ptr<clsCache> obj1, int score) {
    items_.push_back(std::move(obj1));
    scores_.push_back(score);
}

int clsSearchResults::Score(int64_t Index) const {
    if (Index < 1 || Index > Count()) return -1;
    return scores_[static_cast<size_t>(Index - 1)];
}

void clsSearchResults::Remove(int64_t Index) {
    if (Index < 1 || Index > Count()) return;
    items_.erase(items_.begin() + (Index - 1));
    scores_.erase(scores_.begin() + (Index - 1));
    // No storage is kept for an empty collection.
    if (items_.empty()) {
        items_.shrink_to_fit();
        scores_.clear();
        scores_.shrink_to_fit();
    }
}

void clsSearchResults::Clear() {
    // Swapped out first, so a cache object whose destruction reaches back into this collection finds
    // it already empty.
    std::vector<std::shared_ptr<clsCache>> dropped;
    dropped.swap(items_);
    std::vector<int>().swap(scores_);
}

int64_t ResultNumberOfLine(const std::string& line) {
    const size_t blank = line.find(' ');
    if (blank == std::string::npos || blank == 0) return 0;
    const std::optional<double> number = ParseNumber(line.substr(0, blank));
    if (!number) return 0;
    return RoundedLong(*number).value_or(0);
}

}  // namespace loftwick
