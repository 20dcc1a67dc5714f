C;Exported by a PIR query: two entries
C;second comment line

>P1;CRAB_ANAPL
ALPHA CRYSTALLIN B CHAIN
  MDITIHNPLI RRPLFSWLAP*
C;Species: Anas platyrhynchos
R;a reference line

>DL;TWO
second
ACGT*
C;the end
