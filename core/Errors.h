#pragma once

#include <QString>

#include <stdexcept>

// An error with a number and a description, the pair every error report shows.
class AppError : public std::runtime_error
{
public:
    AppError(int number, const QString& description);

    int Number() const { return m_number; }
    const QString& Description() const { return m_description; }

private:
    int m_number;
    QString m_description;
};

// A database failure; the number is SQLite's extended result code.
class DbError : public AppError
{
public:
    using AppError::AppError;
};
