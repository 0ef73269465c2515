// The one way failures travel: as values, returned, until the edge that
// reports them (the loader, the component step, the download of an item).
// The program carries no exception support at all.
#pragma once

#include <string>
#include <utility>

namespace base {

class failure {
public:
    enum class kind {
        // Loading the configuration failed with a text shown as it stands.
        message,
        // Loading the configuration failed in a way the user is told as
        // "Error loading configuration file"; the text says what it was.
        loading,
    };

    static failure message(std::wstring text) { return failure(kind::message, std::move(text)); }
    static failure loading(std::wstring what) { return failure(kind::loading, std::move(what)); }

    kind what() const { return kind_; }
    const std::wstring& text() const { return text_; }

    // What the user is told of a failed loading.
    std::wstring shown_text() const
    {
        return kind_ == kind::message ? text_ : std::wstring(L"Error loading configuration file");
    }

private:
    failure(kind k, std::wstring text) : kind_(k), text_(std::move(text)) {}

    kind kind_;
    std::wstring text_;
};

// A value, or the failure that took its place.
template <class T>
class [[nodiscard]] result {
public:
    result(T value) : value_(std::move(value)), ok_(true), failure_(failure::loading(std::wstring())) {}
    result(failure why) : ok_(false), failure_(std::move(why)) {}

    explicit operator bool() const { return ok_; }
    const T& value() const { return value_; }
    T& value() { return value_; }
    const failure& error() const { return failure_; }

private:
    T value_{};
    bool ok_;
    failure failure_;
};

// Success, or the failure of a step that yields nothing.
class [[nodiscard]] status {
public:
    status() : ok_(true), failure_(failure::loading(std::wstring())) {}
    status(failure why) : ok_(false), failure_(std::move(why)) {}

    explicit operator bool() const { return ok_; }
    const failure& error() const { return failure_; }

private:
    bool ok_;
    failure failure_;
};

}  // namespace base
