// Run-time class information: the record of a class's name, size and base,
// for the classes that carry one.
#pragma once

#include <windows.h>

class CObject;

//! The record of one class: its name, size, schema, creation function and base.
struct CRuntimeClass {
    LPCSTR m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;                     //!< 0xFFFF: not serialisable
    CObject* (*m_pfnCreateObject)();    //!< null: not dynamically creatable
    const CRuntimeClass* m_pBaseClass;  //!< null for CObject only
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

//! In a class body: the class carries its own run-time class record.
#define DECLARE_DYNAMIC(class_name)               \
  public:                                         \
    static const CRuntimeClass class##class_name; \
    const CRuntimeClass* GetRuntimeClass() const override;

//! In a source file: the record of a class declared with DECLARE_DYNAMIC.
#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                                             \
    const CRuntimeClass class_name::class##class_name = {#class_name, sizeof(class_name), 0xFFFF,  \
                                                         nullptr, RUNTIME_CLASS(base_class_name)}; \
    const CRuntimeClass* class_name::GetRuntimeClass() const {                                     \
        return RUNTIME_CLASS(class_name);                                                          \
    }

//! The root of the framework's classes: run-time class information and a virtual destructor.
class CObject {
  public:
    static const CRuntimeClass classCObject;

    CObject() = default;
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
    virtual ~CObject() = default;

    virtual const CRuntimeClass* GetRuntimeClass() const;
};
