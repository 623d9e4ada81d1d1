// Text font, size 14.
Name = "sylfaen";
Styles[0].Size = 14;
Styles[0].Charsets = array("sylfaen.css");
