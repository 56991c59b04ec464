object Features: TPoolTemplate
  Left = 200
  Top = 120
  BorderStyle = bsDialog
  Caption = '$TITLE$ Setup'
  ClientHeight = 360
  ClientWidth = 495
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  Position = poScreenCenter
  object HeaderPanel: TPanel
    Left = 0
    Top = 0
    Width = 495
    Height = 57
    BevelOuter = bvNone
    Color = clWindow
    ParentColor = False
    object HeaderTitle: TLabel
      Left = 16
      Top = 10
      Width = 400
      Height = 14
      Caption = 'Choose Features'
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWindowText
      Font.Height = -11
      Font.Name = 'MS Sans Serif'
      Font.Style = [fsBold]
      ParentFont = False
      Transparent = True
    end
    object HeaderText: TLabel
      Left = 28
      Top = 30
      Width = 440
      Height = 14
      Caption = 'Choose which features of $TITLE$ you want to install.'
      Transparent = True
    end
  end
  object HeaderBevel: TBevel
    Left = 0
    Top = 57
    Width = 495
    Height = 2
    Shape = bsTopLine
  end
  object FeatureTree: TTreeView
    Left = 16
    Top = 72
    Width = 224
    Height = 224
    Tag = 1
    TabOrder = 3
  end
  object InfoLabel2: TLabel
    Left = 252
    Top = 76
    Width = 80
    Height = 14
    Caption = 'Description:'
  end
  object InfoLabel3: TLabel
    Left = 252
    Top = 116
    Width = 80
    Height = 14
    Caption = 'Size:'
  end
  object InfoLabel4: TLabel
    Left = 252
    Top = 140
    Width = 80
    Height = 14
    Caption = 'Required:'
  end
  object InfoLabel5: TLabel
    Left = 252
    Top = 164
    Width = 80
    Height = 14
    Caption = 'Available:'
  end
  object InfoLabel6: TLabel
    Left = 252
    Top = 188
    Width = 80
    Height = 14
    Caption = 'Remaining:'
  end
  object Info2: TStaticText
    Left = 336
    Top = 76
    Width = 143
    Height = 34
    AutoSize = False
    Caption = '-'
    Tag = 2
  end
  object Info3: TStaticText
    Left = 336
    Top = 116
    Width = 143
    Height = 17
    AutoSize = False
    Caption = '-'
    Tag = 3
  end
  object Info4: TStaticText
    Left = 336
    Top = 140
    Width = 143
    Height = 17
    AutoSize = False
    Caption = '-'
    Tag = 4
  end
  object Info5: TStaticText
    Left = 336
    Top = 164
    Width = 143
    Height = 17
    AutoSize = False
    Caption = '-'
    Tag = 5
  end
  object Info6: TStaticText
    Left = 336
    Top = 188
    Width = 143
    Height = 17
    AutoSize = False
    Caption = '-'
    Tag = 6
  end
  object Bevel1: TBevel
    Left = 0
    Top = 313
    Width = 495
    Height = 2
    Shape = bsTopLine
  end
  object BackButton: TButton
    Left = 243
    Top = 326
    Width = 75
    Height = 23
    Caption = '< &Back'
    Enabled = True
    Tag = 2
    TabOrder = 1
  end
  object NextButton: TButton
    Left = 318
    Top = 326
    Width = 75
    Height = 23
    Caption = '&Next >'
    Default = True
    Enabled = True
    Tag = 1
    TabOrder = 0
  end
  object CancelButton: TButton
    Left = 405
    Top = 326
    Width = 75
    Height = 23
    Caption = 'Cancel'
    Enabled = True
    Tag = 3
    TabOrder = 2
  end
end
