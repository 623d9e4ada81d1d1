Width = 16; Height = 8; Format = "D3DFMT_A8R8G8B8"; Levels = 3; Usage = "D3DUSAGE_DYNAMIC"; Pool = "D3DPOOL_DEFAULT";
