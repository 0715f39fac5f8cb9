// CRecordOps<T>: the binding table of a record class. Each binding pairs a
// value id with a getter and a setter of T; the table moves a T into a CRec
// and back.
//
// - Write(object, record): clears the record's values, then appends, in
//   binding order, one value per binding: the id and the member as text
//   (integers in signed or unsigned decimal, texts unchanged).
// - Read(object, record): for each value of the record, the binding with the
//   same id sets its member from the text (integers as CVar::get_int,
//   get_long or get_unsigned_long read them); values with other ids are
//   ignored, members without a value keep theirs. A later value of the same
//   id overrides an earlier one.
//
// Bindings are made from member function pointers: Bind<&T::get_x,
// &T::set_x>("id"). Supported member types: int, unsigned, long, unsigned
// long, std::string.
//
// Thread-safety: a table is built once (a static) and only read afterwards;
// reads may run on any number of threads.
#pragma once

#include "Brindle/comm/Msg.h"

#include <initializer_list>
#include <string>
#include <type_traits>
#include <vector>

namespace Brindle {

namespace RecordOpsDetail {

template <typename U>
U FromVar(const CVar& value)
{
    if constexpr (std::is_same_v<U, int>)
        return value.get_int();
    else if constexpr (std::is_same_v<U, long>)
        return value.get_long();
    else if constexpr (std::is_same_v<U, unsigned>)
        return value.get_unsigned_int();
    else if constexpr (std::is_same_v<U, unsigned long>)
        return value.get_unsigned_long();
    else {
        static_assert(std::is_same_v<U, std::string>, "unsupported member type");
        return value.get_value();
    }
}

template <typename>
struct MemberType;
template <typename T, typename R>
struct MemberType<R (T::*)() const> {
    using type = std::remove_cvref_t<R>;
};

} // namespace RecordOpsDetail

template <typename T>
class CRecordOps {
public:
    struct Binding {
        const char* id;
        CVar (*get)(const T&);
        void (*set)(T&, const CVar&);
    };

    CRecordOps(std::initializer_list<Binding> bindings) : m_bindings(bindings) {}

    template <auto Getter, auto Setter>
    static Binding Bind(const char* id)
    {
        using U = typename RecordOpsDetail::MemberType<decltype(Getter)>::type;
        return Binding{id, [](const T& object) { return CVar((object.*Getter)()); },
                       [](T& object, const CVar& value) { (object.*Setter)(RecordOpsDetail::FromVar<U>(value)); }};
    }

    void Write(const T& object, CRec& record) const
    {
        record.clear();
        for (const Binding& binding : m_bindings)
            record.add(CVal(CVar(binding.id), binding.get(object)));
    }

    void Read(T& object, const CRec& record) const
    {
        for (const CVal& value : record)
            for (const Binding& binding : m_bindings)
                if (value.get_id() == binding.id) {
                    binding.set(object, value.get_value());
                    break;
                }
    }

    const std::vector<Binding>& GetBindings() const { return m_bindings; }

private:
    std::vector<Binding> m_bindings;
};

} // namespace Brindle
