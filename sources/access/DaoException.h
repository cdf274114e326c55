#pragma once

#include <stdexcept>
#include <string>

// The one exception type of the database layer: an engine failure with a description that the
// command dispatcher shows as it is (it names the file or the table).
class CDaoException final : public std::runtime_error
{
public:
    enum class EKind {
        FileNotFound,
        NotAccessDatabase,
        Damaged,
        NoSuchTable,
        CannotRead,
        NoRecord,
        ReaderMissing
    };

    CDaoException(EKind kind, const std::string &strDescription)
        : std::runtime_error(strDescription), m_kind(kind)
    { }

    EKind Kind() const { return m_kind; }
    std::string Description() const { return what(); }

private:
    EKind m_kind;
};
