// Shared storage for the copy-on-write model containers (List, TextMap, TextSet).
//
// Copies of a project go to worker threads (imports, autosave) while the main thread keeps
// editing its own. The storage therefore carries its own atomic count: a copy dropped on a
// worker releases it, and edit() reads it with acquire ordering, so everything the worker
// read happens before the main thread writes in place.
#pragma once

#include <atomic>
#include <cstddef>
#include <utility>

namespace rig {

template <class C>
class CowStorage {
public:
    CowStorage() = default;
    CowStorage(const CowStorage& other) noexcept : node_(other.node_) {
        if (node_) node_->refs.fetch_add(1, std::memory_order_relaxed);
    }
    CowStorage(CowStorage&& other) noexcept : node_(std::exchange(other.node_, nullptr)) {}
    CowStorage& operator=(const CowStorage& other) noexcept {
        CowStorage(other).swap(*this);
        return *this;
    }
    CowStorage& operator=(CowStorage&& other) noexcept {
        CowStorage(std::move(other)).swap(*this);
        return *this;
    }
    ~CowStorage() { release(); }

    const C& get() const { return node_ ? node_->value : empty(); }
    // Detaches from storage shared with copies before handing out write access.
    C& edit() {
        if (!node_) {
            node_ = new Node();
        } else if (node_->refs.load(std::memory_order_acquire) != 1) {
            Node* own = new Node(node_->value);
            release();
            node_ = own;
        }
        return node_->value;
    }
    void reset() {
        release();
        node_ = nullptr;
    }
    void assign(C value) {
        Node* own = new Node(std::move(value));
        release();
        node_ = own;
    }
    bool sameStorage(const CowStorage& other) const { return node_ == other.node_; }
    bool isNull() const { return node_ == nullptr; }
    void swap(CowStorage& other) noexcept { std::swap(node_, other.node_); }

private:
    struct Node {
        Node() = default;
        explicit Node(const C& v) : value(v) {}
        explicit Node(C&& v) : value(std::move(v)) {}
        std::atomic<std::size_t> refs{1};
        C value;
    };

    // The last owner deletes: acquire-release, so every other owner's use of the value
    // happens before the deletion.
    void release() noexcept {
        if (node_ && node_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete node_;
    }

    static const C& empty() {
        static const C none;
        return none;
    }

    Node* node_ = nullptr;
};

} // namespace rig
