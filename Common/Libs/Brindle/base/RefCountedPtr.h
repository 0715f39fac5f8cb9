// CRefCountedConstPtr<T> and CRefCountedPtr<T>: shared ownership of one heap
// object through a separately allocated counter.
//
// Assigning a raw pointer (which must come from new) starts a new counter at
// 1 (none for null); copying shares the counter and adds 1; releasing takes 1
// off and, at zero, frees the counter and deletes the object (as the type it
// was handed over as, so a pointer to a derived object may be held through a
// pointer to its base). Assigning the pointer already held does nothing.
// CRefCountedConstPtr gives const access; CRefCountedPtr adds non-const
// access to the same object and converts to the const form.
//
// Thread-safety: the counts are atomic, which serialises every change of a
// count as holding the library-wide system lock would, without taking it:
// copies of one pointer may be made, released and destroyed on any threads
// at once. One pointer object is not locked: one thread changes it at a time.
// The object pointed to is not locked either.
#pragma once

#include <atomic>
#include <concepts>
#include <cstddef>
#include <utility>

namespace Brindle {

namespace RefCountDetail {

// The shared counter, with what it takes to delete the object as the type
// it was created as.
struct Counter {
    std::atomic<long> count{1};
    void* object;
    void (*destroy)(void*);
};

template <typename U>
Counter* NewCounter(U* object)
{
    return new Counter{{1}, const_cast<void*>(static_cast<const volatile void*>(object)),
                       [](void* p) { delete static_cast<U*>(p); }};
}

inline void AddRef(Counter* counter)
{
    if (counter != nullptr)
        counter->count.fetch_add(1, std::memory_order_relaxed);
}

inline void Release(Counter* counter)
{
    if (counter != nullptr && counter->count.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        counter->destroy(counter->object);
        delete counter;
    }
}

} // namespace RefCountDetail

template <typename T>
class CRefCountedConstPtr {
public:
    CRefCountedConstPtr() noexcept = default;
    CRefCountedConstPtr(std::nullptr_t) noexcept {}
    // Takes ownership of a new object.
    template <typename U>
        requires std::convertible_to<U*, T*>
    explicit CRefCountedConstPtr(U* object)
    {
        Take(object);
    }
    CRefCountedConstPtr(const CRefCountedConstPtr& other) noexcept : m_ptr(other.m_ptr), m_counter(other.m_counter)
    {
        RefCountDetail::AddRef(m_counter);
    }
    CRefCountedConstPtr(CRefCountedConstPtr&& other) noexcept : m_ptr(other.m_ptr), m_counter(other.m_counter)
    {
        other.m_ptr = nullptr;
        other.m_counter = nullptr;
    }
    template <typename U>
        requires std::convertible_to<U*, T*>
    CRefCountedConstPtr(const CRefCountedConstPtr<U>& other) noexcept
        : m_ptr(other.m_ptr), m_counter(other.m_counter)
    {
        RefCountDetail::AddRef(m_counter);
    }
    ~CRefCountedConstPtr() { RefCountDetail::Release(m_counter); }

    CRefCountedConstPtr& operator=(const CRefCountedConstPtr& other) noexcept
    {
        Assign(other);
        return *this;
    }
    CRefCountedConstPtr& operator=(CRefCountedConstPtr&& other) noexcept
    {
        if (this != &other) {
            RefCountDetail::Release(m_counter);
            m_ptr = std::exchange(other.m_ptr, nullptr);
            m_counter = std::exchange(other.m_counter, nullptr);
        }
        return *this;
    }
    template <typename U>
        requires std::convertible_to<U*, T*>
    CRefCountedConstPtr& operator=(U* object)
    {
        Assign(object);
        return *this;
    }
    CRefCountedConstPtr& operator=(std::nullptr_t) noexcept
    {
        Reset();
        return *this;
    }

    // Shares the other's object (nothing happens when it is the same).
    void Assign(const CRefCountedConstPtr& other) noexcept
    {
        if (m_counter == other.m_counter)
            return;
        RefCountDetail::AddRef(other.m_counter);
        RefCountDetail::Release(m_counter);
        m_ptr = other.m_ptr;
        m_counter = other.m_counter;
    }
    // Takes ownership of a new object; the pointer already held is ignored.
    template <typename U>
        requires std::convertible_to<U*, T*>
    void Assign(U* object)
    {
        if (static_cast<const T*>(object) == m_ptr)
            return;
        RefCountDetail::Counter* old = m_counter;
        m_ptr = nullptr;
        m_counter = nullptr;
        Take(object);
        RefCountDetail::Release(old);
    }
    // Lets go of the object (deleting it when this was the last holder).
    void Release() noexcept { Reset(); }
    void Reset() noexcept
    {
        RefCountDetail::Counter* old = m_counter;
        m_ptr = nullptr;
        m_counter = nullptr;
        RefCountDetail::Release(old);
    }

    bool IsNull() const noexcept { return m_ptr == nullptr; }
    bool NotNull() const noexcept { return m_ptr != nullptr; }
    bool operator!() const noexcept { return m_ptr == nullptr; }
    explicit operator bool() const noexcept { return m_ptr != nullptr; }
    const T* GetPtr() const noexcept { return m_ptr; }
    const T& operator*() const noexcept { return *m_ptr; }
    const T* operator->() const noexcept { return m_ptr; }
    // Holders of the object; 0 for a null pointer.
    long RefCount() const noexcept
    {
        return m_counter != nullptr ? m_counter->count.load(std::memory_order_relaxed) : 0;
    }

    template <typename U>
    bool operator==(const CRefCountedConstPtr<U>& other) const noexcept
    {
        return m_ptr == other.m_ptr;
    }
    bool operator==(const T* object) const noexcept { return m_ptr == object; }

protected:
    T* MutablePtr() const noexcept { return m_ptr; }

private:
    template <typename U>
    friend class CRefCountedConstPtr;

    template <typename U>
    void Take(U* object)
    {
        if (object == nullptr)
            return;
        try {
            m_counter = RefCountDetail::NewCounter(object);
        } catch (...) {
            delete object; // ownership was handed over: nobody else will free it
            throw;
        }
        m_ptr = object;
    }

    T* m_ptr = nullptr;
    RefCountDetail::Counter* m_counter = nullptr;
};

template <typename T>
class CRefCountedPtr : public CRefCountedConstPtr<T> {
    using Base = CRefCountedConstPtr<T>;

public:
    CRefCountedPtr() noexcept = default;
    CRefCountedPtr(std::nullptr_t) noexcept {}
    template <typename U>
        requires std::convertible_to<U*, T*>
    explicit CRefCountedPtr(U* object) : Base(object)
    {
    }
    CRefCountedPtr(const CRefCountedPtr&) noexcept = default;
    CRefCountedPtr(CRefCountedPtr&&) noexcept = default;
    template <typename U>
        requires std::convertible_to<U*, T*>
    CRefCountedPtr(const CRefCountedPtr<U>& other) noexcept : Base(other)
    {
    }
    CRefCountedPtr& operator=(const CRefCountedPtr&) noexcept = default;
    CRefCountedPtr& operator=(CRefCountedPtr&&) noexcept = default;
    template <typename U>
        requires std::convertible_to<U*, T*>
    CRefCountedPtr& operator=(U* object)
    {
        Base::Assign(object);
        return *this;
    }
    CRefCountedPtr& operator=(std::nullptr_t) noexcept
    {
        Base::Reset();
        return *this;
    }

    T* GetPtr() const noexcept { return Base::MutablePtr(); }
    T& operator*() const noexcept { return *Base::MutablePtr(); }
    T* operator->() const noexcept { return Base::MutablePtr(); }
};

} // namespace Brindle
