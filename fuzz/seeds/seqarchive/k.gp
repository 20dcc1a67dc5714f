LOCUS       NP_000001                  6 aa            linear   PRI 01-JAN-2000
DEFINITION  protein.
ACCESSION   NP_000001
ORIGIN
        1 mkvlaa
//
