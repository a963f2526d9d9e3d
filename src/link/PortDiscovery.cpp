#include "PortDiscovery.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const std::size_t aStart = i;
            const std::size_t bStart = j;
            while (i < a.size() && IsDigit(a[i])) ++i;
            while (j < b.size() && IsDigit(b[j])) ++j;
            std::string aRun = a.substr(aStart, i - aStart);
            std::string bRun = b.substr(bStart, j - bStart);
            aRun.erase(0, std::min(aRun.find_first_not_of('0'), aRun.size() - 1));
            bRun.erase(0, std::min(bRun.find_first_not_of('0'), bRun.size() - 1));
            if (aRun.size() != bRun.size())
                return aRun.size() < bRun.size();
            if (aRun != bRun)
                return aRun < bRun;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}
