// The root of the framework's class tree: a run-time class record and a serialisation hook.
#pragma once

class CArchive;

// One record per class, constant-initialised, so that a class can be asked for its name and its bases at
// run time without any start-up code.
struct CRuntimeClass {
    const char* m_lpszClassName;
    const CRuntimeClass* m_pBaseClass;

    bool IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
};

class CObject {
public:
    virtual const CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() = default;
    // Nothing in the program persists objects this way (the registry profile is its only store); the hook
    // is kept so that classes built on CObject have the usual shape.
    virtual void Serialize(CArchive& ar);

    bool IsKindOf(const CRuntimeClass* pClass) const;
    const char* GetRuntimeClassName() const { return GetRuntimeClass()->m_lpszClassName; }

    static const CRuntimeClass classCObject;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

#define RUNTIME_CLASS(theClass) (&theClass::class##theClass)

#define DECLARE_DYNAMIC(theClass)                                                                            \
public:                                                                                                      \
    static const CRuntimeClass class##theClass;                                                              \
    const CRuntimeClass* GetRuntimeClass() const override;

#define IMPLEMENT_DYNAMIC(theClass, baseClass)                                                               \
    constinit const CRuntimeClass theClass::class##theClass = {#theClass, RUNTIME_CLASS(baseClass)};         \
    const CRuntimeClass* theClass::GetRuntimeClass() const {                                                 \
        return RUNTIME_CLASS(theClass);                                                                      \
    }
