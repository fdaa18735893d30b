#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

// A growable list in fixed chunks: appending never moves the elements already
// held (no reallocation spike after days of data) and wastes at most one
// chunk, where a doubling vector may hold twice what it needs. The oldest
// elements can be let go a chunk at a time; indices keep their meaning.
template <typename T, std::size_t ChunkBytes = 256 * 1024> class chunked_list {
public:
    static constexpr std::size_t per_chunk = ChunkBytes / sizeof(T) > 0 ? ChunkBytes / sizeof(T)
                                                                        : 1;

    void push_back(const T& v) {
        if (size_ == chunks_.size() * per_chunk)
            chunks_.push_back(std::make_unique_for_overwrite<T[]>(per_chunk));
        chunks_[size_ / per_chunk][size_ % per_chunk] = v;
        ++size_;
    }
    T& operator[](std::size_t i) { return chunks_[i / per_chunk][i % per_chunk]; }
    const T& operator[](std::size_t i) const { return chunks_[i / per_chunk][i % per_chunk]; }
    const T& back() const { return (*this)[size_ - 1]; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() {
        chunks_.clear();
        chunks_.shrink_to_fit();
        size_ = 0;
        released_ = 0;
    }
    // Frees every chunk whose elements all lie before index i; those elements
    // must not be read any more.
    void release_before(std::size_t i) {
        for (; released_ < chunks_.size() && (released_ + 1) * per_chunk <= i; ++released_)
            chunks_[released_].reset();
    }
    // Index of the first element still held.
    std::size_t first_held() const { return std::min(released_ * per_chunk, size_); }
    std::size_t memory_bytes() const {
        return (chunks_.size() - released_) * per_chunk * sizeof(T) +
               chunks_.capacity() * sizeof(chunks_[0]);
    }

private:
    std::vector<std::unique_ptr<T[]>> chunks_;
    std::size_t size_ = 0;
    std::size_t released_ = 0; // chunks freed at the front
};
