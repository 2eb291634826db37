#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cache/clsCache.h"

namespace loftwick {

// The cache objects a scan selected, in the order it selected them, numbered from 1. The collection
// shares the objects with whoever else holds them (the commands of the result list); it neither copies
// nor owns the cached files. No member throws.
class clsSearchResults {
  public:
    clsSearchResults() = default;
    ~clsSearchResults() { Clear(); }
    clsSearchResults(const clsSearchResults&) = delete;
    clsSearchResults& operator=(const clsSearchResults&) = delete;

    int64_t Count() const { return static_cast<int64_t>(items_.size()); }
    // The result at Index (1-based); null for any index outside 1..Count.
    std::shared_ptr<clsCache> Item(int64_t Index) const;
    // Appends obj1 as result Count + 1, with its contents score (-1 when the scan had no contents filter).
    void Add(std::shared_ptr<clsCache> obj1, int score = -1);
    // The contents score of result Index; -1 without one or for an index outside 1..Count.
    int Score(int64_t Index) const;
    // Drops result Index; the later ones move down by one. An index outside 1..Count does nothing.
    void Remove(int64_t Index);
    // Drops every result.
    void Clear();

  private:
    std::vector<std::shared_ptr<clsCache>> items_;
    std::vector<int> scores_;  // beside items_, always as long
};

// The result number a list line begins with: the text before its first blank, when that reads as a
// number, rounded to a whole number (halves to even). 0 for a line without a blank, with a blank first,
// with a head that is not a number, or with a number outside the 32-bit range (the current result is
// 32-bit, and a line can never number that many results).
int64_t ResultNumberOfLine(const std::string& line);

}  // namespace loftwick
