#include "FlagLookup.h"

#include "DBCnx.h"
#include "MondrelError.h"

namespace {

template <typename TMatch>
TFlag FirstFlag(TDBTransaction& transaction, TMatch matches, const std::string& what) {
    for (const TFlag& flag : GetFlags(transaction)) {
        if (matches(flag)) {
            return flag;
        }
    }
    throw EMondrelError("no flag " + what);
}

}  // namespace

TFlag FlagByCaption(TDBTransaction& Transaction, const std::string& Caption) {
    return FirstFlag(
        Transaction, [&](const TFlag& flag) { return flag.Caption == Caption; },
        "with the caption \"" + Caption + "\"");
}

TFlag FlagByVariable(TDBTransaction& Transaction, const std::string& Variable) {
    return FirstFlag(
        Transaction, [&](const TFlag& flag) { return flag.Variable == Variable; },
        "with the variable \"" + Variable + "\"");
}
