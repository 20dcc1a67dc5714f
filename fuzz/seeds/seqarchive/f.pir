>P1;ONE
first protein
MKVLA
GG*
>DL;TWO
second
ACGT*
