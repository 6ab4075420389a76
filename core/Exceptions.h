#pragma once
// The program's error types. Every error the program raises carries a
// user-facing message; handlers either catch it and show their own box or
// let it reach the application's default error reporting, which shows
// Message().

#include <QByteArray>
#include <QString>
#include <exception>

class Exception : public std::exception {
public:
    explicit Exception(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString& Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

#define PLOTMERE_DECLARE_EXCEPTION(Name, Base) \
    class Name : public Base {                 \
    public:                                    \
        using Base::Base;                      \
    };

// Text that is not a valid value of the expected type.
PLOTMERE_DECLARE_EXCEPTION(EConvertError, Exception)
// A picture file of an unknown kind or with broken contents.
PLOTMERE_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
// File system errors: a file that cannot be created/written or opened/read.
PLOTMERE_DECLARE_EXCEPTION(EStreamError, Exception)
PLOTMERE_DECLARE_EXCEPTION(EFCreateError, EStreamError)
PLOTMERE_DECLARE_EXCEPTION(EFOpenError, EStreamError)
PLOTMERE_DECLARE_EXCEPTION(EReadError, EStreamError)
// The clipboard is held by another program.
PLOTMERE_DECLARE_EXCEPTION(EClipboardException, Exception)
// A chart axis refused a bound or step.
PLOTMERE_DECLARE_EXCEPTION(AxisException, Exception)
// Floating-point faults: they are raised, never turned into inf or NaN.
PLOTMERE_DECLARE_EXCEPTION(EMathError, Exception)
PLOTMERE_DECLARE_EXCEPTION(EZeroDivide, EMathError)
PLOTMERE_DECLARE_EXCEPTION(EOverflow, EMathError)
PLOTMERE_DECLARE_EXCEPTION(EInvalidOp, EMathError)

#undef PLOTMERE_DECLARE_EXCEPTION
