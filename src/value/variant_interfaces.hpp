// The reference-counted read and write objects that a variant wrapper hands
// out. They point at the wrapper's record but never own it.
#pragma once

#include <cstdint>

#include "corvane/value.h"

namespace corvane::detail {

template <class Interface>
inline constexpr const char* interface_name = nullptr;
template <>
inline constexpr const char* interface_name<IVariantRead> = "IVariantRead";
template <>
inline constexpr const char* interface_name<IVariantWrite> = "IVariantWrite";

// Query, AddRef and Release shared by both interfaces. An object starts with
// one reference and ends itself when Release takes the count to 0.
template <class Interface>
class interface_stub : public Interface {
public:
    bool Query(const char* name, void** out) override;
    uint32_t AddRef() override;
    uint32_t Release() override;

protected:
    interface_stub() = default;
    ~interface_stub() override = default;
    // Runs just before the object ends; after the destructor in the table.
    virtual void FinalRelease() {}

private:
    volatile int32_t count_ = 1;  // changed only by the library's atomics
};

extern template class interface_stub<IVariantRead>;
extern template class interface_stub<IVariantWrite>;

}  // namespace corvane::detail

using IVariantReadStub = corvane::detail::interface_stub<IVariantRead>;
using IVariantWriteStub = corvane::detail::interface_stub<IVariantWrite>;

class CVariantRead final : public IVariantReadStub {
public:
    bool GetType(char* buffer, uint32_t* size) override;
    bool GetBool(uint8_t* out) override;
    bool GetString(char* buffer, uint32_t* size) override;
    bool GetDouble(double* out) override;
    bool GetFloat(float* out) override;
    bool GetLongLong(int64_t* out) override;
    bool GetULongLong(uint64_t* out) override;
    bool GetLong(int32_t* out) override;
    bool GetULong(uint32_t* out) override;
    bool GetInt(int32_t* out) override;
    bool GetUInt(uint32_t* out) override;
    bool GetShort(int16_t* out) override;
    bool GetUShort(uint16_t* out) override;
    bool GetChar(int8_t* out) override;
    bool GetByte(uint8_t* out) override;

    variant_record* value = nullptr;  // the record read, or null
};

class CVariantWrite final : public IVariantWriteStub {
public:
    bool SetType(const char* type_name) override;
    bool SetBool(uint8_t new_value, uint8_t force_type) override;
    bool SetString(const char* text, uint8_t force_type) override;
    bool SetDouble(double new_value, uint8_t force_type) override;
    bool SetFloat(float new_value, uint8_t force_type) override;
    bool SetLongLong(int64_t new_value, uint8_t force_type) override;
    bool SetULongLong(uint64_t new_value, uint8_t force_type) override;
    bool SetLong(int32_t new_value, uint8_t force_type) override;
    bool SetULong(uint32_t new_value, uint8_t force_type) override;
    bool SetInt(int32_t new_value, uint8_t force_type) override;
    bool SetUInt(uint32_t new_value, uint8_t force_type) override;
    bool SetShort(int16_t new_value, uint8_t force_type) override;
    bool SetUShort(uint16_t new_value, uint8_t force_type) override;
    bool SetChar(int8_t new_value, uint8_t force_type) override;
    bool SetByte(uint8_t new_value, uint8_t force_type) override;

    variant_record* value = nullptr;  // the record written, or null
};
