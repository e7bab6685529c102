#include "main/RecordSearch.h"

#include <vector>

#include "main/SearchMatcher.h"
#include "store/ContactDetails.h"
#include "store/Database.h"

SearchFields SearchFields::All(const QStringList& recordColumns)
{
    SearchFields all;
    all.columns = recordColumns;
    all.url = true;
    for (const char* kind : {DetailKind::Phone, DetailKind::Url, DetailKind::Messenger, DetailKind::Nickname,
                             DetailKind::Organisation, DetailKind::Department, DetailKind::Title, DetailKind::Role,
                             DetailKind::Note, DetailKind::Birthday, DetailKind::Anniversary}) {
        all.detailKinds.append(QLatin1String(kind));
    }
    all.addresses = true;
    return all;
}

const std::vector<SearchChoice>& DetailSearchChoices()
{
    auto kinds = [](std::initializer_list<const char*> list) {
        QStringList out;
        for (const char* kind : list) {
            out.append(QLatin1String(kind));
        }
        return out;
    };
    static const std::vector<SearchChoice> choices{
        {"74001",
         "Any phone",
         {{QStringLiteral("F_Phone1"), QStringLiteral("F_MobilePhone1"), QStringLiteral("C_Phone1")},
          false,
          kinds({DetailKind::Phone}),
          false}},
        {"74002", "Address", {{}, false, {}, true}},
        {"74003",
         "Birthday or anniversary",
         {{}, false, kinds({DetailKind::Birthday, DetailKind::Anniversary}), false}},
        {"74004", "Nickname", {{}, false, kinds({DetailKind::Nickname}), false}},
        {"74005",
         "Organisation or title",
         {{},
          false,
          kinds({DetailKind::Organisation, DetailKind::Department, DetailKind::Title, DetailKind::Role}),
          false}},
        {"74006", "Note", {{}, false, kinds({DetailKind::Note}), false}},
        {"74007", "Web address", {{}, true, kinds({DetailKind::Url}), false}},
        {"74008",
         "Any messenger",
         {{QStringLiteral("QQ"), QStringLiteral("MSN"), QStringLiteral("ICQ")},
          false,
          kinds({DetailKind::Messenger}),
          false}},
    };
    return choices;
}

void SearchRecords(Connection& conn, const QString& text, bool matchCase, const SearchFields& fields,
                   const QString& sortColumn, const std::function<void(qint64 id, QByteArrayView sortCipher)>& found,
                   const std::function<bool()>& keepGoing)
{
    const SearchMatcher matcher(text, matchCase);
    QStringList columns{sortColumn};
    columns.append(fields.columns);
    const int count = static_cast<int>(fields.columns.size());
    if (fields.url) {
        columns.append(QStringLiteral("Url"));
    }
    if (!fields.NeedsDetails()) {
        // A large book is read by two readers at once, each matched on its own thread; what the
        // second finds is held and handed on after the first's, in key order.
        struct Found
        {
            std::vector<qint64> ids;
            std::vector<char> bytes;
            std::vector<std::pair<std::size_t, std::size_t>> spans;
            ReaderRuns runs;
        } upper;
        // Each half its own matcher and values.
        const auto matches = [&fields, count](const SearchMatcher& with, std::vector<QByteArrayView>& values,
                                              const RowView& row) {
            for (int c = 0; c < count; ++c) {
                values[static_cast<std::size_t>(c)] = row.Bytes(c + 2);
            }
            return with.Matches(values.data(), count) || (fields.url && with.MatchesPlain(row.Bytes(count + 2)));
        };
        const SearchMatcher upperMatcher(text, matchCase);
        std::vector<QByteArrayView> lowerValues(static_cast<std::size_t>(count));
        std::vector<QByteArrayView> upperValues(static_cast<std::size_t>(count));
        ReadRecordFieldsInHalves(
            conn, columns,
            [&](const RowView& row) {
                if (keepGoing && !keepGoing()) {
                    return false;
                }
                if (matches(matcher, lowerValues, row)) {
                    found(row.Integer(0), row.Bytes(1));
                }
                return true;
            },
            [&](const RowView& row) {
                if (keepGoing && !keepGoing()) {
                    return false;
                }
                if (matches(upperMatcher, upperValues, row)) {
                    const QByteArrayView sort = row.Bytes(1);
                    upper.runs.Note(row.Integer(0), upper.ids.size());
                    upper.ids.push_back(row.Integer(0));
                    upper.spans.emplace_back(upper.bytes.size(), static_cast<std::size_t>(sort.size()));
                    upper.bytes.insert(upper.bytes.end(), sort.begin(), sort.end());
                }
                return true;
            });
        upper.runs.InKeyOrder(upper.ids.size(), [&](std::size_t i) {
            if (keepGoing && !keepGoing()) {
                return false;
            }
            found(upper.ids[i], QByteArrayView(upper.bytes.data() + upper.spans[i].first,
                                               static_cast<qsizetype>(upper.spans[i].second)));
            return true;
        });
        return;
    }
    std::vector<QByteArrayView> values(static_cast<std::size_t>(count));
    ContactDetailCipherTexts details(conn, fields.detailKinds, fields.addresses);
    ReadRecordFields(conn, columns, [&](const RowView& row) {
        if (keepGoing && !keepGoing()) {
            return false;
        }
        for (int c = 0; c < count; ++c) {
            values[static_cast<std::size_t>(c)] = row.Bytes(c + 2);
        }
        // The details are walked for every record, found or not, to keep in step with the records.
        static const std::vector<QByteArrayView> none;
        const std::vector<QByteArrayView>& detailValues = fields.NeedsDetails() ? details.Of(row.Integer(0)) : none;
        const bool match =
            matcher.Matches(values.data(), count) || (fields.url && matcher.MatchesPlain(row.Bytes(count + 2))) ||
            (!detailValues.empty() && matcher.Matches(detailValues.data(), static_cast<int>(detailValues.size())));
        if (match) {
            found(row.Integer(0), row.Bytes(1));
        }
        return true;
    });
}
