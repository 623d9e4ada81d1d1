FileName = "wood.bmp";
Id = "board";
ColorKey = object(r = 255, b = 16);
Delay = 40;
Subs = array(object(Id = "a", x1 = 2, y1 = 3, w = 4, h = 5),
             object(Id = "b", x1 = 0, y1 = 0, x2 = 2, y2 = 2, Delay = 7),
             object(Id = "cell", Width = 2, Height = 2));
Animation = object(walk = array("b", "a", "missing"));
