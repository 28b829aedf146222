// A program directory with real log tables for the window tests: tables are created by
// the same open operation the program uses and filled through the table engine.
#pragma once

#include "faxlog/dbe_engine.h"
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
        if (!withDatend) {
            // A new log has every tag; a log from before its first rebuild has only the
            // one opening makes.
            std::filesystem::remove(path() / "PVN.CDX");
            std::filesystem::remove(path() / "PVNREC.CDX");
        }
        faxlog::DbeEngine dbe;
        append(dbe, "PVN.DBF", sent, withDatend ? "DTOS(DATESENT)+TIMESENT" : nullptr);
        append(dbe, "PVNREC.DBF", received, withDatend ? "DTOS(DATEREC)+TIMEREC" : nullptr);
    }

    void writeFile(const std::string& name, const std::string& bytes) const {
        std::ofstream(path() / name, std::ios::binary) << bytes;
    }
    std::string readFile(const std::filesystem::path& p) const {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    void append(faxlog::DbeEngine& dbe, const char* file, const std::vector<Fields>& records,
                const char* datendKey) {
        const int area = dbe.dbe_Use(path() / file, "", faxlog::kModeExclusive, faxlog::kDriverFoxCdx);
        if (area == 0)
            throw std::runtime_error(dbe.dbe_LastError());
        for (const Fields& r : records) {
            dbe.dbe_AppendBlank();
            for (const auto& [name, value] : r)
                if (name != "*")
                    dbe.dbe_Replace(name, value);
            if (r.count("*"))
                dbe.dbe_Delete();
            dbe.dbe_Commit();
        }
        if (datendKey)
            dbe.dbe_IndexTag("", "DATEND", datendKey, 0, false, ".not. deleted()");
        dbe.dbe_Close();
    }
};

} // namespace testing_support
