#include "watch/ChangeRecords.h"

#include <optional>

namespace pw {

void DeliverRecords(const QByteArray& folder, const QList<TChangeRecord>& records,
                    const TFileDealMethod& notify) {
    std::optional<TFileOperation> operation;
    QByteArray fileName1;
    for (const TChangeRecord& record : records) {
        QByteArray fileName2;
        const QByteArray path = record.FileName.isEmpty() ? QByteArray() : folder + record.FileName;
        switch (record.Action) {
        case caAdded:
        case caRemoved:
        case caModified:
            fileName1 = path;
            operation = static_cast<TFileOperation>(record.Action - 1);
            notify(*operation, fileName1, fileName2);
            break;
        case caRenamedOldName:
            fileName1 = path;
            operation = foRenamed;
            break;
        case caRenamedNewName:
            if (operation == foRenamed) {
                fileName2 = path;
                notify(foRenamed, fileName1, fileName2);
            }
            break;
        default:
            break;
        }
    }
}

} // namespace pw
