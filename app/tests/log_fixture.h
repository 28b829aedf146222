// A program directory with real log tables for the window tests: tables are created by
// the same open operation the program uses and filled through the table engine.
#pragma once

#include "faxlog/sx_engine.h"
#include "faxlog_table.h"

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

using Fields = std::map<std::string, std::string>;

struct LogDir {
    QTemporaryDir temp;
    std::filesystem::path path() const { return temp.path().toStdString(); }

    // Creates both tables (as a first start would) and appends the given records.
    // Records with "*" set in their fields map are given the deleted mark.
    void seed(const std::vector<Fields>& sent, const std::vector<Fields>& received,
              bool withDatend = false) {
        {
            app::LogDatabase db(path());
            db.open(app::LogKind::Sent);
            db.open(app::LogKind::Received);
        }
        faxlog::SxEngine sx;
        append(sx, "PVN.DBF", sent, withDatend ? "DTOS(DATESENT)+TIMESENT" : nullptr);
        append(sx, "PVNREC.DBF", received, withDatend ? "DTOS(DATEREC)+TIMEREC" : nullptr);
    }

    void writeFile(const std::string& name, const std::string& bytes) const {
        std::ofstream(path() / name, std::ios::binary) << bytes;
    }
    std::string readFile(const std::filesystem::path& p) const {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    void append(faxlog::SxEngine& sx, const char* file, const std::vector<Fields>& records,
                const char* datendKey) {
        const int area = sx.sx_Use(path() / file, "", faxlog::kModeExclusive, faxlog::kDriverFoxCdx);
        if (area == 0)
            throw std::runtime_error(sx.sx_LastError());
        for (const Fields& r : records) {
            sx.sx_AppendBlank();
            for (const auto& [name, value] : r)
                if (name != "*")
                    sx.sx_Replace(name, value);
            if (r.count("*"))
                sx.sx_Delete();
            sx.sx_Commit();
        }
        if (datendKey)
            sx.sx_IndexTag("", "DATEND", datendKey, 0, false, ".not. deleted()");
        sx.sx_Close();
    }
};

} // namespace testing_support
