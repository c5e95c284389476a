CREATE TABLE piante (id INTEGER NOT NULL UNIQUE, famiglia TEXT, genere TEXT, specie TEXT,
  identificazione TEXT, habitat TEXT, temperatura REAL, temperaturaid REAL, r3 TEXT, r4 TEXT,
  r1 TEXT, r2 TEXT, umdita REAL, fioritura TEXT, descrizione TEXT, dataacquisto TEXT,
  prezzo REAL, vaso TEXT, eta REAL, note TEXT, img TEXT);
CREATE TABLE coltivazione (idtrat INTEGER NOT NULL UNIQUE, id INTEGER NOT NULL,
  intervento TEXT, datatratt TEXT, temperatura REAL, umidita REAL, descrizione TEXT);
CREATE INDEX coltivazione_data ON coltivazione (id, datatratt);
CREATE INDEX coltivazione_tipo ON coltivazione (id, intervento, datatratt);
CREATE TABLE promemoria (id INTEGER NOT NULL, intervento TEXT NOT NULL, giorni INTEGER NOT NULL,
  UNIQUE (id, intervento));
CREATE TABLE foto (idfoto INTEGER NOT NULL UNIQUE, id INTEGER NOT NULL, data TEXT,
  file TEXT NOT NULL, nota TEXT);
CREATE INDEX foto_pianta ON foto (id, data);
PRAGMA user_version = 2;
