// Clock figures for the overlays, size 64.
Name = "64font";
Styles[0].Size = 64;
Styles[0].Charsets = array("64font.css");
