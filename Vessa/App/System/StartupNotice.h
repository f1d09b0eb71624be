#pragma once

#include "VessaCore/Error.h"

#include <QString>
#include <QStringList>

namespace vessa {

// What was wrong at start-up and what the program did about it, for the main
// window's "Error" alert: one paragraph per problem.
class StartupNotice : public Error {
public:
    explicit StartupNotice(QStringList paragraphs) : m_paragraphs(std::move(paragraphs)) {}

    const QStringList& paragraphs() const { return m_paragraphs; }
    QString description() const override { return m_paragraphs.join(QStringLiteral("\n\n")); }

private:
    QStringList m_paragraphs;
};

} // namespace vessa
