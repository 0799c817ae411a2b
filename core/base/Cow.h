// Shared storage for the copy-on-write model containers (List, TextMap, TextSet).
#pragma once

#include <memory>

namespace rig {

template <class C>
class CowStorage {
public:
    const C& get() const { return data_ ? *data_ : empty(); }
    // Detaches from storage shared with copies before handing out write access.
    C& edit() {
        if (!data_) {
            data_ = std::make_shared<C>();
        } else if (data_.use_count() > 1) {
            data_ = std::make_shared<C>(*data_);
        }
        return *data_;
    }
    void reset() { data_.reset(); }
    void assign(C value) { data_ = std::make_shared<C>(std::move(value)); }
    bool sameStorage(const CowStorage& other) const { return data_ == other.data_; }
    bool isNull() const { return !data_; }

private:
    static const C& empty() {
        static const C none;
        return none;
    }
    std::shared_ptr<C> data_;
};

} // namespace rig
