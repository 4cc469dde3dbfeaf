// An ordered n-ary tree of values. Every cell links to its parent, first and
// last child and both siblings; a head and a feet sentinel enclose the
// top-level nodes, and the feet is the end position. Children keep insertion
// order. Positions stay valid until their own cell is erased.
#pragma once

#include <cstddef>
#include <iterator>
#include <utility>

template <class T>
class Tree {
    struct Cell {
        Cell() = default;
        explicit Cell(const T& v) : value(v) {}
        explicit Cell(T&& v) : value(std::move(v)) {}
        T value{};
        Cell* parent = nullptr;
        Cell* firstChild = nullptr;
        Cell* lastChild = nullptr;
        Cell* prev = nullptr;
        Cell* next = nullptr;
    };

public:
    // A position in the tree; ++ walks it in pre-order (each node before its
    // children, top-level nodes in order), ending at end().
    class Position {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = T*;
        using reference = T&;

        Position() = default;
        T& operator*() const { return cell_->value; }
        T* operator->() const { return &cell_->value; }
        bool operator==(const Position& o) const { return cell_ == o.cell_; }
        bool operator!=(const Position& o) const { return cell_ != o.cell_; }
        Position& operator++() {
            if (cell_->firstChild != nullptr) {
                cell_ = cell_->firstChild;
                return *this;
            }
            while (cell_->next == nullptr && cell_->parent != nullptr) cell_ = cell_->parent;
            cell_ = cell_->next;
            return *this;
        }
        Position operator++(int) {
            Position old = *this;
            ++*this;
            return old;
        }
        bool valid() const { return cell_ != nullptr; }

    private:
        friend class Tree;
        explicit Position(Cell* c) : cell_(c) {}
        Cell* cell_ = nullptr;
    };

    // Walks the children of one node in order.
    class ChildIterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = T*;
        using reference = T&;

        T& operator*() const { return cell_->value; }
        T* operator->() const { return &cell_->value; }
        bool operator==(const ChildIterator& o) const { return cell_ == o.cell_; }
        bool operator!=(const ChildIterator& o) const { return cell_ != o.cell_; }
        ChildIterator& operator++() {
            cell_ = cell_->next;
            if (cell_ == feet_) cell_ = nullptr;
            return *this;
        }
        Position position() const { return Position(cell_); }

    private:
        friend class Tree;
        ChildIterator(Cell* c, Cell* feet) : cell_(c == feet ? nullptr : c), feet_(feet) {}
        Cell* cell_;
        Cell* feet_;
    };

    struct ChildRange {
        ChildIterator b, e;
        ChildIterator begin() const { return b; }
        ChildIterator end() const { return e; }
    };

    Tree() {
        head_ = new Cell();
        feet_ = new Cell();
        head_->next = feet_;
        feet_->prev = head_;
    }
    ~Tree() {
        clear();
        delete head_;
        delete feet_;
    }
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    Position begin() const { return Position(head_->next); }
    Position end() const { return Position(feet_); }
    bool empty() const { return head_->next == feet_; }

    // Inserts a copy of the value as a sibling in front of `before` (which may
    // be end() to append at the top level).
    Position insert(Position before, const T& value) {
        Cell* at = before.cell_;
        Cell* c = new Cell(value);
        c->parent = at->parent;
        c->prev = at->prev;
        c->next = at;
        if (at->prev != nullptr) at->prev->next = c;  // the head or a real sibling
        at->prev = c;
        if (c->parent != nullptr && c->parent->firstChild == at) c->parent->firstChild = c;
        return Position(c);
    }

    // Appends a copy of the value as the last child of `parent`.
    Position appendChild(Position parent, const T& value) {
        Cell* c = new Cell(value);
        linkAsLastChild(c, parent.cell_);
        return Position(c);
    }

    // Appends the value itself, moved, as the last child of `parent`.
    Position appendChild(Position parent, T&& value) {
        Cell* c = new Cell(std::move(value));
        linkAsLastChild(c, parent.cell_);
        return Position(c);
    }

    // Removes a node with its whole subtree.
    void erase(Position pos) {
        Cell* c = pos.cell_;
        if (c == nullptr || c == head_ || c == feet_) return;
        unlink(c);
        destroy(c);
    }

    // Moves a node with its subtree to be the last child of `newParent`.
    void moveAsLastChild(Position node, Position newParent) {
        unlink(node.cell_);
        linkAsLastChild(node.cell_, newParent.cell_);
    }

    // Moves a node with its subtree in front of `before`, a child of `parent`;
    // an invalid `before` makes it the last child.
    void moveBefore(Position node, Position parent, Position before) {
        if (!before.valid()) return moveAsLastChild(node, parent);
        Cell* c = node.cell_;
        Cell* at = before.cell_;
        unlink(c);
        c->parent = at->parent;
        c->prev = at->prev;
        c->next = at;
        if (at->prev != nullptr) at->prev->next = c;
        at->prev = c;
        if (c->parent != nullptr && c->parent->firstChild == at) c->parent->firstChild = c;
    }

    void clear() {
        while (!empty()) erase(begin());
    }

    // The parent, or end() for a top-level node.
    Position parent(Position pos) const {
        Cell* p = pos.cell_->parent;
        return p ? Position(p) : end();
    }
    ChildRange children(Position pos) const {
        return ChildRange{ChildIterator(pos.cell_->firstChild, feet_), ChildIterator(nullptr, feet_)};
    }
    // The top-level nodes as a range.
    ChildRange topLevel() const { return ChildRange{ChildIterator(head_->next, feet_), ChildIterator(nullptr, feet_)}; }

    // First child, or an invalid position when there is none.
    Position firstChild(Position pos) const { return Position(pos.cell_->firstChild); }
    // Next sibling, or an invalid position after the last one (end() at the top level).
    Position nextSibling(Position pos) const { return Position(pos.cell_->next); }
    bool hasChildren(Position pos) const { return pos.cell_->firstChild != nullptr; }

    std::size_t numberOfChildren(Position pos) const {
        std::size_t n = 0;
        for (Cell* c = pos.cell_->firstChild; c != nullptr; c = c->next) ++n;
        return n;
    }
    // Siblings after the node.
    std::size_t numberOfSiblings(Position pos) const {
        std::size_t n = 0;
        for (Cell* c = pos.cell_->next; c != nullptr && c != feet_; c = c->next) ++n;
        return n;
    }
    std::size_t size() const {
        std::size_t n = 0;
        for (Position p = begin(); p != end(); ++p) ++n;
        return n;
    }
    // The end of the subtree rooted at pos in pre-order: the first position
    // after all its descendants.
    Position subtreeEnd(Position pos) const {
        Cell* c = pos.cell_;
        while (c->next == nullptr && c->parent != nullptr) c = c->parent;
        return Position(c->next);
    }
    // Visits the subtree of pos (or the whole tree for end()) children first.
    template <class F>
    void forEachPostOrder(Position pos, F&& f) {
        if (pos == end()) {
            for (Cell* c = head_->next; c != feet_;) {
                Cell* n = c->next;
                postOrder(c, f);
                c = n;
            }
        } else {
            postOrder(pos.cell_, f);
        }
    }

private:
    template <class F>
    static void postOrder(Cell* c, F& f) {
        for (Cell* k = c->firstChild; k != nullptr;) {
            Cell* n = k->next;
            postOrder(k, f);
            k = n;
        }
        f(Position(c));
    }
    static void linkAsLastChild(Cell* c, Cell* p) {
        c->parent = p;
        c->prev = p->lastChild;
        c->next = nullptr;
        if (p->lastChild != nullptr) {
            p->lastChild->next = c;
        } else {
            p->firstChild = c;
        }
        p->lastChild = c;
    }
    void unlink(Cell* c) {
        if (c->prev != nullptr) c->prev->next = c->next;
        if (c->next != nullptr) c->next->prev = c->prev;
        if (c->parent != nullptr) {
            if (c->parent->firstChild == c) c->parent->firstChild = c->next;
            if (c->parent->lastChild == c) c->parent->lastChild = c->prev;
        }
        c->prev = c->next = nullptr;
        c->parent = nullptr;
    }
    static void destroy(Cell* c) {
        // Iterative over siblings, recursive only in depth.
        for (Cell* k = c->firstChild; k != nullptr;) {
            Cell* n = k->next;
            destroy(k);
            k = n;
        }
        delete c;
    }

    Cell* head_;
    Cell* feet_;
};
