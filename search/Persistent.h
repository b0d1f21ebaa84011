#pragma once

#include <stdexcept>
#include <string>

namespace pw {

// Raised by Assign between objects of unrelated classes: "Cannot assign a <source> to a <target>".
class EAssignError : public std::runtime_error {
public:
    EAssignError(const char* sourceClass, const char* targetClass);
};

// A value object that copies from another of its class with Assign.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    // Copies every field from Source when it is of this class; otherwise throws EAssignError and
    // keeps its own values.
    virtual void Assign(const TPersistent& Source) = 0;
    virtual const char* ClassName() const = 0;

protected:
    TPersistent() = default;
    TPersistent(const TPersistent&) = default;
    TPersistent& operator=(const TPersistent&) = default;

    // The source as this class, or EAssignError.
    template <typename T>
    static const T& sourceAs(const TPersistent& source, const T& target) {
        if (const auto* s = dynamic_cast<const T*>(&source)) return *s;
        throw EAssignError(source.ClassName(), target.ClassName());
    }
};

} // namespace pw
