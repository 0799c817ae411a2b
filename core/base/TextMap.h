// Tables and sets keyed by model texts: keys compare by canonical equivalence and iterate
// in code-point order. Keys are stored in their composed form (NFC), so a lookup composes
// only the key it is given and then compares bytes. Copy-on-write like List, so an
// unchanged copy equals its original without comparing values (values may hold
// not-a-number).
#pragma once

#include "base/Cow.h"
#include "base/Equal.h"
#include "base/Text.h"

#include <functional>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace rig {

template <class V>
class TextMap {
public:
    // Keys in NFC; byte order of NFC texts is code-point order.
    using Map = std::map<std::string, V, std::less<>>;
    using const_iterator = typename Map::const_iterator;
    using iterator = const_iterator;
    using value_type = typename Map::value_type;

    TextMap() = default;
    // On canonically equal keys the first entry is kept.
    TextMap(std::initializer_list<std::pair<std::string_view, V>> items) {
        Map& m = data_.edit();
        for (const auto& [key, value] : items) m.emplace(nfc(key), value);
    }

    std::size_t size() const { return map().size(); }
    bool empty() const { return size() == 0; }
    const_iterator begin() const { return map().cbegin(); }
    const_iterator end() const { return map().cend(); }
    const_iterator find(std::string_view key) const { return map().find(Composed(key).view()); }
    bool contains(std::string_view key) const { return find(key) != end(); }
    // The value for `key`, or null.
    const V* get(std::string_view key) const {
        auto it = find(key);
        return it == end() ? nullptr : &it->second;
    }
    const Map& map() const { return data_.get(); }

    // Mutation: detaches from shared storage first.
    // Stores `value` under `key`, replacing an entry under a canonically equal key.
    void set(std::string_view key, V value) {
        const Composed k(key);
        Map& m = data_.edit();
        auto it = m.find(k.view());
        if (it != m.end()) {
            it->second = std::move(value);
        } else {
            m.emplace(std::string(k.view()), std::move(value));
        }
    }
    // The value under `key` for changing in place; a default value is stored first when
    // there is none.
    V& edit(std::string_view key) {
        const Composed k(key);
        Map& m = data_.edit();
        auto it = m.find(k.view());
        if (it == m.end()) it = m.emplace(std::string(k.view()), V{}).first;
        return it->second;
    }
    bool erase(std::string_view key) {
        const Composed k(key);
        if (map().find(k.view()) == map().end()) return false;
        Map& m = data_.edit();
        m.erase(m.find(k.view()));
        return true;
    }
    void clear() { data_.reset(); }

    friend bool operator==(const TextMap& a, const TextMap& b) {
        if (a.data_.sameStorage(b.data_)) return true;
        if (a.size() != b.size()) return false;
        for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib) {
            if (ia->first != ib->first || !eq(ia->second, ib->second)) return false;
        }
        return true;
    }

private:
    CowStorage<Map> data_;
};

class TextSet {
public:
    // Texts in NFC; byte order of NFC texts is code-point order.
    using Set = std::set<std::string, std::less<>>;
    using const_iterator = Set::const_iterator;
    using iterator = const_iterator;

    TextSet() = default;
    TextSet(std::initializer_list<std::string_view> items) {
        Set& s = data_.edit();
        for (std::string_view item : items) s.insert(nfc(item));
    }

    std::size_t size() const { return set().size(); }
    bool empty() const { return size() == 0; }
    const_iterator begin() const { return set().cbegin(); }
    const_iterator end() const { return set().cend(); }
    bool contains(std::string_view key) const { return set().find(Composed(key).view()) != set().end(); }
    const Set& set() const { return data_.get(); }

    // Mutation: detaches from shared storage first.
    bool insert(std::string_view key) {
        const Composed k(key);
        if (set().find(k.view()) != set().end()) return false;
        data_.edit().emplace(k.view());
        return true;
    }
    bool erase(std::string_view key) {
        const Composed k(key);
        if (set().find(k.view()) == set().end()) return false;
        Set& s = data_.edit();
        s.erase(s.find(k.view()));
        return true;
    }
    void clear() { data_.reset(); }

    friend bool operator==(const TextSet& a, const TextSet& b) {
        if (a.data_.sameStorage(b.data_)) return true;
        return a.set() == b.set();
    }

private:
    CowStorage<Set> data_;
};

} // namespace rig
