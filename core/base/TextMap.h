// Tables and sets keyed by model texts: keys compare by canonical equivalence and iterate
// in code-point order. Copy-on-write like List, so an unchanged copy equals its original
// without comparing values (values may hold not-a-number).
#pragma once

#include "base/Cow.h"
#include "base/Equal.h"
#include "base/Text.h"

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace rig {

template <class V>
class TextMap {
public:
    using Map = std::map<std::string, V, TextLess>;
    using const_iterator = typename Map::const_iterator;
    using iterator = const_iterator;
    using value_type = typename Map::value_type;

    TextMap() = default;
    TextMap(std::initializer_list<value_type> items) { data_.assign(Map(items)); }

    std::size_t size() const { return map().size(); }
    bool empty() const { return size() == 0; }
    const_iterator begin() const { return map().cbegin(); }
    const_iterator end() const { return map().cend(); }
    const_iterator find(std::string_view key) const { return map().find(key); }
    bool contains(std::string_view key) const { return map().find(key) != map().end(); }
    // The value for `key`, or null.
    const V* get(std::string_view key) const {
        auto it = map().find(key);
        return it == map().end() ? nullptr : &it->second;
    }
    const Map& map() const { return data_.get(); }

    // Mutation: detaches from shared storage first.
    Map& edit() { return data_.edit(); }
    // Stores `value` under `key`, replacing an entry under a canonically equal key.
    void set(std::string_view key, V value) {
        Map& m = edit();
        auto it = m.find(key);
        if (it != m.end()) {
            it->second = std::move(value);
        } else {
            m.emplace(std::string(key), std::move(value));
        }
    }
    bool erase(std::string_view key) {
        if (!contains(key)) return false;
        Map& m = edit();
        m.erase(m.find(key));
        return true;
    }
    void clear() { data_.reset(); }

    friend bool operator==(const TextMap& a, const TextMap& b) {
        if (a.data_.sameStorage(b.data_)) return true;
        if (a.size() != b.size()) return false;
        for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib) {
            if (!textEqual(ia->first, ib->first) || !eq(ia->second, ib->second)) return false;
        }
        return true;
    }

private:
    CowStorage<Map> data_;
};

class TextSet {
public:
    using Set = std::set<std::string, TextLess>;
    using const_iterator = Set::const_iterator;
    using iterator = const_iterator;

    TextSet() = default;
    TextSet(std::initializer_list<std::string> items) { data_.assign(Set(items)); }

    std::size_t size() const { return set().size(); }
    bool empty() const { return size() == 0; }
    const_iterator begin() const { return set().cbegin(); }
    const_iterator end() const { return set().cend(); }
    bool contains(std::string_view key) const { return set().find(key) != set().end(); }
    const Set& set() const { return data_.get(); }

    Set& edit() { return data_.edit(); }
    bool insert(std::string_view key) {
        if (contains(key)) return false;
        edit().emplace(key);
        return true;
    }
    bool erase(std::string_view key) {
        if (!contains(key)) return false;
        Set& s = edit();
        s.erase(s.find(key));
        return true;
    }
    void clear() { data_.reset(); }

    friend bool operator==(const TextSet& a, const TextSet& b) {
        if (a.data_.sameStorage(b.data_)) return true;
        if (a.size() != b.size()) return false;
        for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib) {
            if (!textEqual(*ia, *ib)) return false;
        }
        return true;
    }

private:
    CowStorage<Set> data_;
};

} // namespace rig
