// xBase expressions from outside (typed queries, key and FOR expressions of index files):
// compiled against the sent log's fields and evaluated on a blank and a filled record.
// Bad text must end in an ExpressionError.
#include "faxlog/dbf_record.h"
#include "faxlog/log_tables.h"
#include "faxlog/xbase_expression.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace faxlog;
    static const Schema schema(logTableDef(LogTableKind::Sent).fields);
    static const std::string filled = [] {
        std::string r = blankRecord(schema);
        writeCharacter(r, schema[0], "Quarterly report");
        writeLogical(r, schema[1], true);
        writeDate(r, schema[2], XDate::fromYmd(2024, 2, 29));
        writeCharacter(r, schema[3], "09:05");
        writeCharacter(r, schema[4], "Ann Smith");
        return r;
    }();
    static const std::string blank = blankRecord(schema);
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const Expression e = Expression::compile(text, schema);
        for (const std::string* rec : {&blank, &filled}) {
            try {
                const Value v = e.evaluate(schema, {*rec, 3});
                if (v.type() != e.type())
                    __builtin_trap(); // the compiled type is what keys and filters rely on
                if (e.type() == ValueType::Logical)
                    e.test(schema, {*rec, 3});
            } catch (const ExpressionError&) {
            }
        }
    } catch (const ExpressionError&) {
    }
    return 0;
}
