#pragma once

#include <QCoreApplication>
#include <QNetworkReply>
#include <QString>

#include <exception>
#include <optional>

// Every failure the service layer throws carries one user-facing text.
class ServiceError : public std::exception {
public:
    virtual QString description() const = 0;
    const char *what() const noexcept override { return "Cuelark service error"; }
};

// What the client detects itself from the service's answer.
class APIError : public ServiceError {
    Q_DECLARE_TR_FUNCTIONS(APIError)
public:
    enum class Kind { http, unauthorized, invalidURL };

    static APIError http(int statusCode, std::optional<QString> message = std::nullopt);
    static APIError unauthorized();
    static APIError invalidURL();

    Kind kind() const { return m_kind; }
    QString description() const override;

private:
    APIError(Kind kind, int statusCode, std::optional<QString> message)
        : m_kind(kind), m_statusCode(statusCode), m_message(std::move(message)) {}
    Kind m_kind;
    int m_statusCode = 0;
    std::optional<QString> m_message;
};

// The HTTP layer's own failure (no network, TLS, time-out, cancellation), passed on
// with Qt's text; or what the client refuses to take as the service's answer: one
// too large, a redirect to another site, or a web page put in its place by the
// network.
class TransportError : public ServiceError {
    Q_DECLARE_TR_FUNCTIONS(TransportError)
public:
    TransportError(QNetworkReply::NetworkError code, QString text)
        : m_code(code), m_text(std::move(text)) {}
    static TransportError bodyTooLarge();
    static TransportError timedOut();
    // `host`: where the service's answer pointed, in ASCII.
    static TransportError redirectedElsewhere(const QString &host);
    static TransportError webPageInstead();
    QNetworkReply::NetworkError code() const { return m_code; }
    QString description() const override { return m_text; }

private:
    QNetworkReply::NetworkError m_code;
    QString m_text;
};

// A body that breaks the record rules. `detail` names the place by our own field
// names only ("events[2].id: missing"), never quoting the body.
class DecodingError : public ServiceError {
    Q_DECLARE_TR_FUNCTIONS(DecodingError)
public:
    explicit DecodingError(QString detail) : m_detail(std::move(detail)) {}
    QString description() const override;

private:
    QString m_detail;
};
