#include "appserver/demodata/names.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::demodata {

namespace {

const QList<Region> &regions()
{
    static const QList<Region> all{
        {{{u"Campinas"_s, u"SP"_s, 13010, 13099, u"19"_s},
          {u"Valinhos"_s, u"SP"_s, 13270, 13279, u"19"_s},
          {u"Vinhedo"_s, u"SP"_s, 13280, 13289, u"19"_s},
          {u"Sumaré"_s, u"SP"_s, 13170, 13182, u"19"_s},
          {u"Hortolândia"_s, u"SP"_s, 13183, 13189, u"19"_s},
          {u"Paulínia"_s, u"SP"_s, 13140, 13149, u"19"_s},
          {u"Indaiatuba"_s, u"SP"_s, 13330, 13349, u"19"_s},
          {u"Americana"_s, u"SP"_s, 13465, 13479, u"19"_s}}},
        {{{u"São Paulo"_s, u"SP"_s, 1000, 5899, u"11"_s},
          {u"Guarulhos"_s, u"SP"_s, 7000, 7399, u"11"_s},
          {u"Osasco"_s, u"SP"_s, 6000, 6299, u"11"_s},
          {u"São Bernardo do Campo"_s, u"SP"_s, 9600, 9899, u"11"_s},
          {u"Santo André"_s, u"SP"_s, 9000, 9299, u"11"_s},
          {u"Barueri"_s, u"SP"_s, 6400, 6499, u"11"_s},
          {u"Diadema"_s, u"SP"_s, 9900, 9999, u"11"_s}}},
        {{{u"Belo Horizonte"_s, u"MG"_s, 30000, 31999, u"31"_s},
          {u"Contagem"_s, u"MG"_s, 32000, 32399, u"31"_s},
          {u"Betim"_s, u"MG"_s, 32500, 32699, u"31"_s},
          {u"Nova Lima"_s, u"MG"_s, 34000, 34009, u"31"_s},
          {u"Sete Lagoas"_s, u"MG"_s, 35700, 35703, u"31"_s}}},
        {{{u"Curitiba"_s, u"PR"_s, 80000, 82999, u"41"_s},
          {u"São José dos Pinhais"_s, u"PR"_s, 83000, 83099, u"41"_s},
          {u"Araucária"_s, u"PR"_s, 83700, 83709, u"41"_s},
          {u"Colombo"_s, u"PR"_s, 83400, 83414, u"41"_s},
          {u"Pinhais"_s, u"PR"_s, 83320, 83349, u"41"_s}}},
        {{{u"Porto Alegre"_s, u"RS"_s, 90000, 91999, u"51"_s},
          {u"Canoas"_s, u"RS"_s, 92000, 92499, u"51"_s},
          {u"Gravataí"_s, u"RS"_s, 94000, 94199, u"51"_s},
          {u"Novo Hamburgo"_s, u"RS"_s, 93300, 93599, u"51"_s},
          {u"São Leopoldo"_s, u"RS"_s, 93000, 93179, u"51"_s}}},
        {{{u"Recife"_s, u"PE"_s, 50000, 52999, u"81"_s},
          {u"Jaboatão dos Guararapes"_s, u"PE"_s, 54000, 54499, u"81"_s},
          {u"Olinda"_s, u"PE"_s, 53000, 53399, u"81"_s},
          {u"Cabo de Santo Agostinho"_s, u"PE"_s, 54500, 54599, u"81"_s},
          {u"Paulista"_s, u"PE"_s, 53400, 53499, u"81"_s}}},
        {{{u"Salvador"_s, u"BA"_s, 40000, 42599, u"71"_s},
          {u"Camaçari"_s, u"BA"_s, 42800, 42849, u"71"_s},
          {u"Lauro de Freitas"_s, u"BA"_s, 42700, 42709, u"71"_s},
          {u"Candeias"_s, u"BA"_s, 43800, 43849, u"71"_s},
          {u"Simões Filho"_s, u"BA"_s, 43700, 43700, u"71"_s}}},
        {{{u"Goiânia"_s, u"GO"_s, 74000, 74899, u"62"_s},
          {u"Aparecida de Goiânia"_s, u"GO"_s, 74900, 74999, u"62"_s},
          {u"Anápolis"_s, u"GO"_s, 75000, 75149, u"62"_s},
          {u"Senador Canedo"_s, u"GO"_s, 75250, 75264, u"62"_s},
          {u"Trindade"_s, u"GO"_s, 75380, 75394, u"62"_s}}},
    };
    return all;
}

struct Sector
{
    const char16_t *name;
    const char16_t *shortName; // for the domain
    Schedule schedule;
    bool anySchedule; // the schedule is drawn per client instead
};

constexpr Sector sectors[] = {
    {u"Metalúrgica", u"metal", Schedule::Weekdays, true},
    {u"Indústria de Autopeças", u"autopecas", Schedule::Weekdays, true},
    {u"Hospital", u"hospital", Schedule::EveryDay, false},
    {u"Construtora", u"construtora", Schedule::MondayToSaturday, false},
    {u"Frigorífico", u"frigorifico", Schedule::EveryDay, false},
    {u"Transportadora", u"transportes", Schedule::Weekdays, true},
    {u"Laticínios", u"laticinios", Schedule::EveryDay, false},
    {u"Indústria Têxtil", u"textil", Schedule::Weekdays, true},
    {u"Usina", u"usina", Schedule::EveryDay, false},
    {u"Cerâmica", u"ceramica", Schedule::Weekdays, true},
    {u"Indústria Química", u"quimica", Schedule::Weekdays, true},
    {u"Colégio", u"colegio", Schedule::Weekdays, false},
    {u"Clínica", u"clinica", Schedule::MondayToSaturday, false},
    {u"Supermercados", u"supermercados", Schedule::EveryDay, false},
    {u"Distribuidora", u"distribuidora", Schedule::MondayToSaturday, false},
    {u"Mineração", u"mineracao", Schedule::EveryDay, false},
    {u"Papel e Celulose", u"papel", Schedule::EveryDay, false},
    {u"Plásticos", u"plasticos", Schedule::Weekdays, true},
    {u"Embalagens", u"embalagens", Schedule::Weekdays, true},
    {u"Calçados", u"calcados", Schedule::Weekdays, true},
    {u"Moinho", u"moinho", Schedule::Weekdays, true},
    {u"Fundição", u"fundicao", Schedule::Weekdays, true},
    {u"Logística", u"logistica", Schedule::EveryDay, true},
    {u"Agroindústria", u"agro", Schedule::EveryDay, true},
    {u"Móveis", u"moveis", Schedule::Weekdays, true},
    {u"Call Center", u"callcenter", Schedule::MondayToSaturday, true},
};

constexpr const char16_t *coreNames[] = {
    u"Santa Rita", u"São Lucas",    u"Boa Vista",   u"Horizonte",   u"Primavera", u"Aliança",       u"Bandeirantes",
    u"Ipiranga",   u"Paraíso",      u"Santa Clara", u"Vale Verde",  u"Nova Era",  u"Três Irmãos",   u"Progresso",
    u"Estrela",    u"Monte Alegre", u"Rio Claro",   u"Serra Azul",  u"Itapuã",    u"Guarani",       u"Tupã",
    u"Planalto",   u"Atlântico",    u"Cruzeiro",    u"São Jorge",   u"Bom Jesus", u"Santo Antônio", u"União",
    u"Ouro Verde", u"Pioneira",     u"Alvorada",    u"Continental", u"Imperial",  u"Sol Nascente",  u"Esperança",
    u"Vitória",    u"Jequitibá",    u"Araucária",   u"Ipê Amarelo", u"Vila Rica",
};

constexpr const char16_t *surnames[] = {
    u"Silva",     u"Souza",      u"Oliveira", u"Santos",  u"Pereira",  u"Lima",    u"Carvalho", u"Ferreira",
    u"Rodrigues", u"Almeida",    u"Costa",    u"Gomes",   u"Martins",  u"Araújo",  u"Ribeiro",  u"Barbosa",
    u"Rocha",     u"Dias",       u"Moreira",  u"Cardoso", u"Teixeira", u"Correia", u"Mendes",   u"Nunes",
    u"Pinto",     u"Cavalcanti", u"Ferraz",   u"Andrade", u"Monteiro", u"Freitas", u"Vieira",   u"Campos",
    u"Batista",   u"Machado",    u"Fonseca",  u"Rezende", u"Tavares",  u"Brandão", u"Queiroz",  u"Sampaio",
};

// First and middle names go together by gender: "Maria Aparecida", "José Carlos".
constexpr const char16_t *femaleFirstNames[] = {
    u"Maria",  u"Ana",     u"Francisca", u"Luiza",   u"Juliana", u"Fernanda", u"Patrícia",  u"Aline",
    u"Márcia", u"Cláudia", u"Sandra",    u"Adriana", u"Tereza",  u"Vera",     u"Rosângela",
};
constexpr const char16_t *femaleMiddleNames[] = {
    u"Aparecida", u"Cristina", u"Luiza", u"Helena", u"de Fátima", u"Beatriz", u"das Graças",
};
constexpr const char16_t *maleFirstNames[] = {
    u"José", u"João",   u"Antônio",   u"Carlos",  u"Paulo",   u"Pedro", u"Lucas",   u"Marcos",
    u"Luís", u"Rafael", u"Sebastião", u"Roberto", u"Gabriel", u"Jorge", u"Eduardo",
};
constexpr const char16_t *maleMiddleNames[] = {
    u"Carlos", u"Eduardo", u"Henrique", u"Augusto", u"Roberto", u"Paulo", u"Francisco",
};

constexpr const char16_t *companySuffixes[] = {
    u"Ltda", u"Ltda", u"Ltda", u"S.A.", u"Ltda - ME", u"EIRELI", u"Ltda - EPP",
};

constexpr const char16_t *streetKinds[] = {
    u"Rua", u"Rua", u"Rua", u"Avenida", u"Avenida", u"Alameda", u"Travessa", u"Estrada",
};

constexpr const char16_t *streetNames[] = {
    u"Sete de Setembro",
    u"XV de Novembro",
    u"Dom Pedro II",
    u"Tiradentes",
    u"Marechal Deodoro",
    u"Barão de Mauá",
    u"das Indústrias",
    u"Brasil",
    u"Santos Dumont",
    u"José Bonifácio",
    u"Getúlio Vargas",
    u"Rui Barbosa",
    u"Princesa Isabel",
    u"das Palmeiras",
    u"dos Andradas",
    u"Benjamin Constant",
    u"Oswaldo Cruz",
    u"Anchieta",
    u"Castro Alves",
    u"Monteiro Lobato",
    u"Carlos Gomes",
    u"João Pessoa",
    u"da Independência",
    u"Duque de Caxias",
    u"Floriano Peixoto",
    u"Visconde de Mauá",
    u"das Nações Unidas",
    u"Primeiro de Maio",
    u"dos Expedicionários",
    u"Coronel Quirino",
    u"Padre Anchieta",
    u"Professor Zeferino Vaz",
    u"Engenheiro Fábio Roberto Barnabé",
    u"dos Imigrantes",
};

constexpr const char16_t *districts[] = {
    u"Centro",
    u"Centro",
    u"Jardim América",
    u"Vila Nova",
    u"Distrito Industrial",
    u"Jardim das Flores",
    u"Parque Industrial",
    u"Vila Industrial",
    u"Bela Vista",
    u"Santa Cecília",
    u"Boa Vista",
    u"Jardim Paulista",
    u"São José",
    u"Vila Maria",
    u"Cidade Nova",
    u"Jardim Europa",
    u"Parque São Jorge",
    u"Jardim Primavera",
    u"Vila Operária",
    u"Chácara Santo Antônio",
    u"Jardim Santa Mônica",
    u"Polo Empresarial",
    u"Vila Esperança",
    u"Jardim do Lago",
};

constexpr const char16_t *personWorks[] = {
    u"Fazenda", u"Sítio", u"Obra Residencial", u"Chácara", u"Granja",
};

QString q(const char16_t *text)
{
    return QString::fromUtf16(text);
}

} // namespace

int regionCount()
{
    return int(regions().size());
}

const Region &region(int index)
{
    return regions().at(index % regions().size());
}

namespace {

CompanyName drawCompanyName(Random &rng, int attempt)
{
    const Sector &sector = rng.pick(sectors);
    // Two thirds carry a place-like name, one third the founding family's.
    const bool family = rng.between(0, 2) == 0;
    QString core = family ? q(rng.pick(surnames)) : q(rng.pick(coreNames));
    if (family && rng.chance(0.4))
        core += u" & "_s + q(rng.pick(surnames));
    if (attempt > 3)
        core += u' ' + QString::number(attempt - 2);
    const QString suffix = q(rng.pick(companySuffixes));

    CompanyName n;
    n.fantasia = q(sector.name) + u' ' + core;
    n.razaoSocial = n.fantasia + u' ' + suffix;
    n.domain = asciiSlug(core) + (rng.chance(0.5) ? asciiSlug(q(sector.shortName)) : QString())
               + (rng.between(0, 4) == 0 ? u".com"_s : u".com.br"_s);
    if (sector.anySchedule) {
        const int r = rng.between(0, 99);
        n.schedule = r < 55 ? Schedule::Weekdays : r < 85 ? Schedule::MondayToSaturday : Schedule::EveryDay;
    } else {
        n.schedule = sector.schedule;
    }
    return n;
}

} // namespace

CompanyName companyName(Random &rng, int attempt)
{
    CompanyName n;
    do
        n = drawCompanyName(rng, attempt);
    while (n.razaoSocial.size() > 50);
    return n;
}

PersonName personName(Random &rng)
{
    PersonName p;
    const bool female = rng.chance(0.5);
    p.first = q(female ? rng.pick(femaleFirstNames) : rng.pick(maleFirstNames));
    const QString middle = q(female ? rng.pick(femaleMiddleNames) : rng.pick(maleMiddleNames));
    p.last = q(rng.pick(surnames));
    p.full = p.first + u' ' + middle + u' ' + q(rng.pick(surnames)) + u' ' + p.last;
    p.fantasia = q(rng.pick(personWorks)) + u' ' + q(rng.pick(coreNames));
    return p;
}

QString streetAddress(Random &rng)
{
    return q(rng.pick(streetKinds)) + u' ' + q(rng.pick(streetNames)) + u", "_s
           + QString::number(rng.between(1, 120) * (rng.chance(0.7) ? 10 : 1) + rng.between(0, 9));
}

QString district(Random &rng)
{
    return q(rng.pick(districts));
}

QString postalCode(Random &rng, const City &city)
{
    const QString five = QString::number(rng.between(city.cepFirst, city.cepLast)).rightJustified(5, u'0');
    const QString three = QString::number(rng.between(0, 999)).rightJustified(3, u'0');
    return five + u'-' + three;
}

QString telephone(Random &rng, const City &city)
{
    return u"("_s + city.ddd + u") "_s + QString::number(rng.between(2, 3)) + QString::number(rng.between(100, 999))
           + u'-' + QString::number(rng.between(0, 9999)).rightJustified(4, u'0');
}

QString stateRegistration(Random &rng)
{
    QString s;
    for (int group = 0; group < 4; ++group) {
        if (group > 0)
            s += u'.';
        s += QString::number(rng.between(0, 999)).rightJustified(3, u'0');
    }
    return s;
}

QString asciiSlug(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c >= u'a' && c <= u'z')
            out += c;
        else if (c >= u'A' && c <= u'Z')
            out += c.toLower();
        else if (c >= u'0' && c <= u'9')
            out += c;
    }
    return out;
}

const QList<ServiceGroupDef> &serviceGroups()
{
    static const QList<ServiceGroupDef> groups{
        {u"0001"_s, u"Refeições principais"_s},
        {u"0002"_s, u"Lanches e ceias"_s},
        {u"0003"_s, u"Dietas especiais"_s},
    };
    return groups;
}

ServiceDef serviceDefinition(int index)
{
    static const QList<ServiceDef> catalogue{
        {u"Desjejum"_s, u"0002"_s, 55, 550, 1190},
        {u"Almoço"_s, u"0001"_s, 90, 1790, 3290},
        {u"Jantar"_s, u"0001"_s, 40, 1690, 2990},
        {u"Ceia"_s, u"0002"_s, 15, 690, 1290},
        {u"Lanche da tarde"_s, u"0002"_s, 30, 490, 990},
        {u"Almoço dietético"_s, u"0003"_s, 6, 2190, 3590},
        {u"Lanche da manhã"_s, u"0002"_s, 25, 490, 990},
        {u"Jantar dietético"_s, u"0003"_s, 4, 1990, 3390},
        {u"Refeição vegetariana"_s, u"0003"_s, 5, 1890, 3190},
        {u"Café da manhã reforçado"_s, u"0002"_s, 20, 890, 1590},
        {u"Marmitex"_s, u"0001"_s, 12, 1490, 2490},
        {u"Coffee break"_s, u"0002"_s, 8, 1290, 2490},
        {u"Sopa noturna"_s, u"0001"_s, 10, 890, 1690},
        {u"Dieta hospitalar"_s, u"0003"_s, 5, 2490, 3990},
        {u"Kit lanche"_s, u"0002"_s, 10, 790, 1490},
    };
    if (index < catalogue.size())
        return catalogue.at(index);
    // Further shifts of the four main meals.
    static const int mainMeals[] = {1, 2, 0, 3}; // Almoço, Jantar, Desjejum, Ceia
    const int extra = index - int(catalogue.size());
    ServiceDef d = catalogue.at(mainMeals[extra % 4]);
    d.name += u" turno "_s + QString::number(2 + extra / 4);
    d.participation = qMax(3, d.participation / 3);
    return d;
}

} // namespace kpr::demodata
