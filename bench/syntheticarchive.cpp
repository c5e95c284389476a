#include "syntheticarchive.h"

#include "archive/timestampkey.h"

#include <QDate>
#include <QDateTime>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <random>

namespace {

// Plain modulo on a fixed engine: the standard distributions differ between libraries, and
// the archive must be the same everywhere for one seed.
class Random {
public:
    explicit Random(quint32 seed) : m_engine(seed) {}
    int below(int n) { return static_cast<int>(m_engine() % static_cast<quint32>(n)); }
    bool chance(int perThousand) { return below(1000) < perThousand; }
    template <typename T> const T &pick(const QList<T> &list) {
        return list.at(below(list.size()));
    }

private:
    std::mt19937 m_engine;
};

struct Genus {
    QString family;
    QString genus;
    QStringList species;
};

const QList<Genus> genera = {
    {"Cactaceae", "Mammillaria", {"elongata", "bocasana", "spinosissima", "hahniana", "plumosa"}},
    {"Cactaceae", "Echinocactus", {"grusonii", "horizonthalonius", "texensis"}},
    {"Cactaceae", "Opuntia", {"microdasys", "ficus-indica", "cylindrica", "monacantha"}},
    {"Cactaceae", "Astrophytum", {"asterias", "myriostigma", "ornatum", "capricorne"}},
    {"Cactaceae", "Gymnocalycium", {"mihanovichii", "baldianum", "saglionis"}},
    {"Cactaceae", "Rebutia", {"minuscula", "fiebrigii", "heliosa"}},
    {"Crassulaceae", "Crassula", {"ovata", "perforata", "arborescens", "muscosa"}},
    {"Crassulaceae", "Echeveria", {"elegans", "agavoides", "pulvinata", "setosa"}},
    {"Crassulaceae", "Sedum", {"morganianum", "rubrotinctum", "adolphii"}},
    {"Crassulaceae", "Kalanchoe", {"blossfeldiana", "tomentosa", "daigremontiana"}},
    {"Asphodelaceae", "Aloe", {"vera", "arborescens", "aristata", "juvenna"}},
    {"Asphodelaceae", "Haworthia", {"attenuata", "cooperi", "retusa", "limifolia"}},
    {"Asphodelaceae", "Gasteria", {"carinata", "bicolor"}},
    {"Aizoaceae", "Lithops", {"lesliei", "karasmontana", "aucampiae"}},
    {"Euphorbiaceae", "Euphorbia", {"milii", "obesa", "trigona", "pulcherrima"}},
    {"Moraceae", "Ficus", {"benjamina", "elastica", "lyrata", "retusa", "microcarpa"}},
    {"Araceae", "Monstera", {"deliciosa", "adansonii"}},
    {"Araceae", "Philodendron", {"scandens", "bipinnatifidum", "erubescens"}},
    {"Araceae", "Anthurium", {"andraeanum", "scherzerianum"}},
    {"Araceae", "Spathiphyllum", {"wallisii"}},
    {"Araceae", "Zamioculcas", {"zamiifolia"}},
    {"Orchidaceae", "Phalaenopsis", {"amabilis", "schilleriana", "equestris"}},
    {"Orchidaceae", "Cymbidium", {"eburneum", "lowianum"}},
    {"Orchidaceae", "Dendrobium", {"nobile", "kingianum"}},
    {"Bromeliaceae", "Tillandsia", {"usneoides", "ionantha", "cyanea", "xerographica"}},
    {"Bromeliaceae", "Guzmania", {"lingulata"}},
    {"Marantaceae", "Calathea", {"makoyana", "orbifolia", "zebrina"}},
    {"Marantaceae", "Maranta", {"leuconeura"}},
    {"Asparagaceae", "Sansevieria", {"trifasciata", "cylindrica"}},
    {"Asparagaceae", "Dracaena", {"marginata", "fragrans", "reflexa"}},
    {"Asparagaceae", "Yucca", {"elephantipes", "rostrata"}},
    {"Lamiaceae", "Rosmarinus", {"officinalis"}},
    {"Lamiaceae", "Lavandula", {"angustifolia", "stoechas", "dentata"}},
    {"Rosaceae", "Rosa", {"chinensis", "banksiae", "rugosa"}},
    {"Ericaceae", "Rhododendron", {"simsii", "japonicum"}},
    {"Gesneriaceae", "Saintpaulia", {"ionantha"}},
    {"Begoniaceae", "Begonia", {"rex", "maculata", "semperflorens"}},
    {"Geraniaceae", "Pelargonium", {"zonale", "peltatum", "graveolens"}},
    {"Ulmaceae", "Zelkova", {"serrata", "parvifolia"}},
    {"Pinaceae", "Pinus", {"mugo", "thunbergii", "parviflora"}},
    {"Sapindaceae", "Acer", {"palmatum", "buergerianum"}},
    {"Oleaceae", "Olea", {"europaea"}},
    {"Rutaceae", "Citrus", {"limon", "sinensis", "reticulata", "aurantium"}},
    {"Apocynaceae", "Adenium", {"obesum", "arabicum"}},
    {"Apocynaceae", "Hoya", {"carnosa", "kerrii", "bella"}},
    {"Strelitziaceae", "Strelitzia", {"reginae", "nicolai"}},
    {"Nepenthaceae", "Nepenthes", {"alata", "ventricosa"}},
    {"Droseraceae", "Dionaea", {"muscipula"}},
};

const QStringList nicknames = {"Piccola del davanzale",
                               "Regalo di Anna",
                               "Talea della nonna",
                               "Quella del balcone",
                               "Bonsai del soggiorno",
                               "Fiera di primavera",
                               "Vaso blu in cucina",
                               "Seme del 2017",
                               "Pollone",
                               "Innesto",
                               "Scambio con Marco",
                               "Mercatino di Natale",
                               "Serra fredda",
                               "Angolo nord",
                               "Sotto la pergola",
                               "Mensola del bagno",
                               "Ufficio",
                               "Davanzale est",
                               "Cassone",
                               "Portico"};

const QStringList habitats = {
    "Deserti del Messico",        "Foreste pluviali dell'America centrale",
    "Sud Africa, zone aride",     "Macchia mediterranea",
    "Sottobosco tropicale",       "Altopiani del Madagascar",
    "Montagne del Giappone",      "Coste rocciose",
    "Epifita su alberi tropicali"};

const QStringList seasons = {"Primavera",      "Estate",        "Autunno",     "Inverno",
                             "Fine primavera", "Inizio estate", "Tutto l'anno"};

const QStringList months = {"Gennaio", "Febbraio", "Marzo",     "Aprile",  "Maggio",   "Giugno",
                            "Luglio",  "Agosto",   "Settembre", "Ottobre", "Novembre", "Dicembre"};

const QStringList pots = {"Terracotta 10 cm",   "Terracotta 14 cm",
                          "Terracotta 18 cm",   "Plastica 8 cm",
                          "Plastica 12 cm",     "Ceramica smaltata 16 cm",
                          "Bonsai ovale 25 cm", "Bonsai rettangolare 30 cm",
                          "Cassetta",           "Vaso autoirrigante",
                          "Cesto sospeso",      "Piena terra"};

const QStringList descriptions = {
    "Pianta robusta, crescita regolare.",     "Foglie lucide, qualche macchia sul bordo.",
    "Acquistata in vivaio, in buona salute.", "Da tenere al riparo dal sole diretto d'estate.",
    "Cresce lentamente; spine dorate.",       "Ramificata, forma compatta."};

const QStringList notes = {
    "Annaffiare solo a terriccio asciutto.",    "Concime per cactacee una volta al mese.",
    "In inverno sotto i 10 gradi non bagnare.", "Ruotare il vaso ogni settimana.",
    "Rinvaso ogni due anni in primavera.",      " "};

const QStringList eventNotes = {"Acqua piovana",
                                "Concime liquido a metà dose",
                                "Primi boccioli",
                                "Fiori aperti",
                                "Tolti i rami secchi",
                                "Trattato con olio di neem",
                                "Nuovo terriccio drenante",
                                "Controllo cocciniglia",
                                "Spostata all'aperto"};

// The kinds of events and how often each is recorded, out of 100.
struct Kind {
    QString name;
    int weight;
};
const QList<Kind> kinds = {{"Annaffiatura", 40}, {"Concimazione", 15}, {"Fioritura", 8},
                           {"Potatura", 10},     {"Rinvaso", 6},       {"Antiparassitario", 8},
                           {"Fungicida", 6},     {"Cimatura", 7}};

const QDate firstDay(2016, 1, 1);
const QDate lastDay(2025, 12, 31);

QString pickKind(Random &r) {
    int n = r.below(100);
    for (const Kind &k : kinds) {
        if (n < k.weight)
            return k.name;
        n -= k.weight;
    }
    return kinds.first().name;
}

// A key from the clock for a moment of `day`; the next free number when that one is taken.
qint64 freshKey(Random &r, const QDate &day, QSet<qint64> &used) {
    qint64 key = TimestampKey::make(QDateTime(day, QTime(0, 0).addSecs(r.below(86400))));
    while (used.contains(key))
        ++key;
    used.insert(key);
    return key;
}

// A text as another tool might store it: sometimes the single blank of an empty box, rarely
// nothing at all.
QVariant storedText(Random &r, const QString &text) {
    if (r.chance(5))
        return QVariant(QMetaType(QMetaType::QString));
    if (r.chance(30))
        return QStringLiteral(" ");
    return text;
}

} // namespace

bool SyntheticArchive::fill(const QString &path, const Shape &shape, Made *made, QString *error) {
    const QString connection = QStringLiteral("silvaro-bench-generator");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        auto failed = [&](const QSqlError &e) {
            *error = e.text();
            return false;
        };
        auto run = [&]() -> bool {
            if (!db.open())
                return failed(db.lastError());
            if (!db.transaction())
                return failed(db.lastError());
            Random r(shape.seed);
            const int span = static_cast<int>(firstDay.daysTo(lastDay)) + 1;
            auto someDay = [&] { return firstDay.addDays(r.below(span)); };

            QSqlQuery plant(db);
            if (!plant.prepare(QStringLiteral(
                    "INSERT INTO piante (id, famiglia, genere, specie, identificazione, habitat, "
                    "temperatura, temperaturaid, r3, r4, r1, r2, umdita, fioritura, descrizione, "
                    "dataacquisto, prezzo, vaso, eta, note, img) "
                    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")))
                return failed(plant.lastError());
            // Plants are stored in the order they were bought.
            QList<QDate> bought(shape.plants);
            for (QDate &d : bought)
                d = someDay();
            std::sort(bought.begin(), bought.end());
            QSet<qint64> plantKeys;
            QList<qint64> ids(shape.plants);
            for (int i = 0; i < shape.plants; ++i) {
                const Genus &g = r.pick(genera);
                ids[i] = freshKey(r, bought.at(i), plantKeys);
                const QVariantList values = {
                    ids.at(i),
                    g.family,
                    g.genus,
                    storedText(r, g.genus + ' ' + r.pick(g.species)),
                    storedText(r, r.pick(nicknames) + QStringLiteral(" n. %1").arg(i + 1)),
                    r.pick(habitats),
                    double(18 + r.below(10)),
                    double(28 + r.below(12)),
                    QString::number(r.below(12)),
                    QString::number(12 + r.below(8)),
                    r.pick(months),
                    r.pick(months),
                    double(30 + r.below(60)),
                    r.pick(seasons),
                    r.pick(descriptions),
                    bought.at(i).toString(Qt::ISODate),
                    r.below(6000) / 100.0,
                    storedText(r, r.pick(pots)),
                    double(1 + r.below(30)),
                    r.pick(notes),
                    r.chance(300) ? QStringLiteral("nd.jpg") : QStringLiteral("foto.jpg")};
                for (int v = 0; v < values.size(); ++v)
                    plant.bindValue(v, values.at(v));
                if (!plant.exec())
                    return failed(plant.lastError());
            }

            // About one plant in twelve has no events; the plant in the middle of the table
            // has a long history; the other events go to the remaining plants at random.
            const int big = shape.plants / 2;
            QList<int> withEvents;
            for (int i = 0; i < shape.plants; ++i)
                if (i != big && !r.chance(83))
                    withEvents << i;
            made->bigPlantId = ids.at(big);
            const int bigEvents = std::min(shape.bigPlantEvents, shape.events);
            if (withEvents.isEmpty() && shape.events > bigEvents) {
                *error = QStringLiteral("too few plants for the events");
                return false;
            }

            QSqlQuery event(db);
            if (!event.prepare(QStringLiteral(
                    "INSERT INTO coltivazione (idtrat, id, intervento, datatratt, temperatura, "
                    "umidita, descrizione) VALUES (?, ?, ?, ?, ?, ?, ?)")))
                return failed(event.lastError());
            QSet<qint64> eventKeys;
            QList<QDate> lastDate(shape.plants);
            // The long history is spread over the whole table, as years of use would leave it.
            int bigLeft = bigEvents;
            for (int e = 0; e < shape.events; ++e) {
                const bool toBig = r.below(shape.events - e) < bigLeft;
                const int p = toBig ? big : withEvents.at(r.below(withEvents.size()));
                bigLeft -= toBig ? 1 : 0;
                // Some days see two events on one plant (watered and fed, say), so that the
                // stored order has to settle which one is the newest.
                const QDate day =
                    lastDate.at(p).isValid() && r.chance(40) ? lastDate.at(p) : someDay();
                lastDate[p] = day;
                QVariant kind = pickKind(r);
                // Rows of other tools: a kind left NULL or empty.
                if (r.chance(2))
                    kind = QVariant(QMetaType(QMetaType::QString));
                else if (r.chance(2))
                    kind = QStringLiteral("");
                const QVariantList values = {freshKey(r, day, eventKeys),
                                             ids.at(p),
                                             kind,
                                             day.toString(Qt::ISODate),
                                             r.chance(500) ? 0.0 : double(5 + r.below(30)),
                                             r.chance(500) ? 0.0 : double(30 + r.below(60)),
                                             r.chance(600) ? QStringLiteral(" ")
                                                           : r.pick(eventNotes)};
                for (int v = 0; v < values.size(); ++v)
                    event.bindValue(v, values.at(v));
                if (!event.exec())
                    return failed(event.lastError());
                if (p == big)
                    ++made->eventsOfBigPlant;
            }
            plant.finish();
            event.finish();
            QSqlQuery count(db);
            if (!count.exec(QStringLiteral("SELECT count(*) FROM piante p WHERE NOT EXISTS "
                                           "(SELECT 1 FROM coltivazione c WHERE c.id = p.id)")) ||
                !count.next())
                return failed(count.lastError());
            made->plantsWithoutEvents = count.value(0).toInt();
            count.finish();
            if (!db.commit())
                return failed(db.lastError());
            return true;
        };
        ok = run();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}
