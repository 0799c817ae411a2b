// Copy-on-write list for every model list. Copies share their storage until one of them
// changes, so copying a whole project is cheap, and a list equals an unchanged copy of
// itself without comparing elements (a point holding not-a-number still equals its copy).
#pragma once

#include "base/Cow.h"
#include "base/Equal.h"

#include <cstddef>
#include <initializer_list>
#include <vector>

#ifdef RIG_CHECKED_ACCESS
#include <cstdio>
#include <cstdlib>
#include <sanitizer/common_interface_defs.h>
#endif

namespace rig {

namespace detail {
// The sanitizer build stops at a read outside a list, where it is made: unchecked, it reads
// whatever lies beyond and fails later somewhere else. The release build does not check.
inline void checkListIndex([[maybe_unused]] std::size_t index, [[maybe_unused]] std::size_t size) {
#ifdef RIG_CHECKED_ACCESS
    if (index < size) return;
    std::fprintf(stderr, "rig::List: element %zu read from a list of %zu\n", index, size);
    __sanitizer_print_stack_trace();
    std::abort();
#endif
}
} // namespace detail

template <class T>
class List {
public:
    using value_type = T;
    using const_iterator = typename std::vector<T>::const_iterator;
    using iterator = const_iterator; // elements change only through the mutating calls

    List() = default;
    List(std::initializer_list<T> items) { data_.assign(std::vector<T>(items)); }
    explicit List(std::vector<T> items) { data_.assign(std::move(items)); }
    template <class It>
    List(It first, It last) {
        data_.assign(std::vector<T>(first, last));
    }

    std::size_t size() const { return vec().size(); }
    bool empty() const { return size() == 0; }
    const_iterator begin() const { return vec().cbegin(); }
    const_iterator end() const { return vec().cend(); }
    const T& operator[](std::size_t i) const {
        detail::checkListIndex(i, size());
        return vec()[i];
    }
    const T& at(std::size_t i) const { return vec().at(i); }
    const T& front() const { return (*this)[0]; }
    const T& back() const { return (*this)[size() - 1]; }
    const std::vector<T>& vec() const { return data_.get(); }

    // Mutation: detaches from shared storage first.
    std::vector<T>& edit() { return data_.edit(); }
    T& mut(std::size_t i) { return edit().at(i); }
    void push_back(T item) { edit().push_back(std::move(item)); }
    template <class... A>
    T& emplace_back(A&&... args) {
        return edit().emplace_back(std::forward<A>(args)...);
    }
    void clear() { data_.reset(); }

    // True when both lists share one storage (an unchanged copy).
    bool sharesStorageWith(const List& other) const {
        return !data_.isNull() && data_.sameStorage(other.data_);
    }

    friend bool operator==(const List& a, const List& b) {
        if (a.data_.sameStorage(b.data_)) return true;
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (!eq(a[i], b[i])) return false;
        }
        return true;
    }

private:
    CowStorage<std::vector<T>> data_;
};

} // namespace rig
