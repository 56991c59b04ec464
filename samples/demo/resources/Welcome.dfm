object Welcome: TPoolTemplate
  Caption = 'Welcome'
end
