// The problem solver's content: the topic tree and the texts, stored as resources in
// "@@ id" sections and composed into one rich text per topic.
#pragma once

#include "settings/settings.h"

#include <QString>

#include <vector>

namespace diagnostics {

struct TopicNode {
    QString title;
    int topic = -1; // -1 for a group
    std::vector<TopicNode> children;
};

// The tree's top level, in order.
const std::vector<TopicNode>& topicTree();

// A stored text by id ("" when there is none): the solutions, or the generic sections
// (0 sending, 1 receiving, 2 closing).
QString storedSolution(int topic);
QString storedGeneric(int section);
QString techSupportText();

// The configuration analysis as rich text.
QString configurationAnalysisHtml(const settings::Settings& s);

// The whole text shown for a topic, "%TITLE%" replaced by `title`.
QString composeTopic(int topic, const QString& title, const settings::Settings& s);

} // namespace diagnostics
