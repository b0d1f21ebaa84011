#pragma once

#include "search/FindFile.h"

#include <QByteArray>
#include <QThread>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace pw::test {

// Binds every event of a TFindFile and records them as text: "begin", "F <folder>",
// "M <folder><name>", "abort", "finish", with folders relative to root.
class SearchRecorder {
public:
    SearchRecorder(TFindFile& findFile, const QByteArray& root)
        : m_root(root) {
        findFile.OnSearchBegin = [this](QObject*) { add("begin"); };
        findFile.OnFolderChange = [this](QObject*, const QByteArray& folder,
                                         TFolderIgnore& ignore) {
            const std::string rel = relative(folder);
            add("F " + rel);
            if (const auto it = ignores.find(rel); it != ignores.end()) ignore = it->second;
        };
        findFile.OnFileMatch = [this](QObject*, const QByteArray& folder, const TSearchRec& info) {
            add("M " + relative(folder) + info.Name.toStdString());
            std::lock_guard lock(m_mutex);
            records.push_back(info);
        };
        findFile.OnSearchAbort = [this](QObject*) { add("abort"); };
        findFile.OnSearchFinish = [this](QObject*) {
            add("finish");
            finishThread = QThread::currentThread();
        };
    }

    std::vector<std::string> events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    int count(const std::string& event) const {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(std::count(m_events.begin(), m_events.end(), event));
    }
    bool finished() const { return count("finish") > 0; }

    // The events between begin and finish, folders and files only.
    std::vector<std::string> walkEvents() const {
        std::vector<std::string> out;
        for (const std::string& e : events())
            if (e.rfind("F ", 0) == 0 || e.rfind("M ", 0) == 0) out.push_back(e);
        return out;
    }

    std::map<std::string, TFolderIgnore> ignores; // by relative folder
    std::vector<TSearchRec> records;
    QThread* finishThread = nullptr;

private:
    std::string relative(const QByteArray& folder) const {
        return (folder.startsWith(m_root) ? folder.mid(m_root.size()) : folder).toStdString();
    }
    void add(std::string event) {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
    }

    QByteArray m_root; // without a trailing "/", so the root folder reads "/"
    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
};

} // namespace pw::test
